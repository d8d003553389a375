# The product: a statically linked console exe that needs nothing Windows does not ship.
add_compile_options(-Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti)

enable_language(RC)
add_executable(qel-driver-fix ${LOGIC_SOURCES} platform/win/seam.cpp entry/main.cpp
               entry/hand_over.cpp
               platform/win/resources.rc)
target_include_directories(qel-driver-fix PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(qel-driver-fix PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
target_link_options(qel-driver-fix PRIVATE -static -s -Wl,--gc-sections)
target_link_libraries(qel-driver-fix PRIVATE setupapi cfgmgr32)

# The manifest (administrator, supported Windows versions) and the version resource.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QEL_WIN64 1)
else()
    set(QEL_WIN64 0)
endif()
# The manifest carries the project version too, so it is made from a template.
configure_file(platform/win/qel-driver-fix.manifest.in
               ${CMAKE_BINARY_DIR}/generated/qel-driver-fix.manifest @ONLY)
set_source_files_properties(platform/win/resources.rc PROPERTIES
    COMPILE_DEFINITIONS "QEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};QEL_VERSION_MINOR=${PROJECT_VERSION_MINOR};QEL_VERSION_PATCH=${PROJECT_VERSION_PATCH};QEL_WIN64=${QEL_WIN64}"
    OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/qel-driver-fix.manifest)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${CMAKE_BINARY_DIR}/generated -I ${CMAKE_SOURCE_DIR}/platform/win")
