# The logic on the simulated PC, the scenario runner and the tests.
option(QEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(QEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# gcc 12 at -O2 and above reports overlaps in std::string's "text" + string that cannot happen
# (its bug 105651); the optimised bench build would fail on it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
endif()

find_package(Threads REQUIRED)
find_path(TOMLPLUSPLUS_INCLUDE toml++/toml.h REQUIRED)

add_library(qel_simpc STATIC
    ${LOGIC_SOURCES}
    harness/process.cpp
    sim/calendar.cpp
    sim/code_page.cpp
    sim/crt.cpp
    sim/kernel.cpp
    sim/newdev.cpp
    sim/registry.cpp
    sim/scenario.cpp
    sim/scenario_keys.cpp
    sim/scenario_toml.cpp
    sim/scheduler.cpp
    sim/setupapi.cpp
    sim/storage.cpp
    sim/system.cpp
    sim/world.cpp)
target_include_directories(qel_simpc PUBLIC ${CMAKE_SOURCE_DIR} ${TOMLPLUSPLUS_INCLUDE})
target_link_libraries(qel_simpc PUBLIC Threads::Threads)

# A user's log read back: a scenario that replays a run, and the run explained.
add_library(qel_logreplay STATIC
    logreplay/log_reader.cpp
    logreplay/log_to_scenario.cpp
    logreplay/explain.cpp)
target_link_libraries(qel_logreplay PUBLIC qel_simpc)

add_executable(qel-driver-fix-sim runner/main.cpp)
target_link_libraries(qel-driver-fix-sim PRIVATE qel_simpc qel_logreplay)

enable_testing()
add_subdirectory(tests)
add_subdirectory(bench)
