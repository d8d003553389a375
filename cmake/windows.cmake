# The product: a statically linked console exe that needs nothing Windows does not ship.
add_compile_options(-Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti)

add_executable(qel-driver-fix ${LOGIC_SOURCES} platform/win/seam.cpp platform/win/main.cpp)
target_include_directories(qel-driver-fix PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(qel-driver-fix PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_options(qel-driver-fix PRIVATE -static -s -Wl,--gc-sections)
target_link_libraries(qel-driver-fix PRIVATE setupapi cfgmgr32)
