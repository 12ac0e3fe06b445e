# The music engine as a library for other programs: xmengine.h, a shared library that exports
# the xme_ functions alone, and a static one whose other symbols are made local, so that
# neither lends a program the engine's internal names.
#
# Both are built from the engine's portable sources but for the stream, which drives the
# process's one sound device and is the demo's (output.h); the programs of this tree reach
# the interface through xmengine_api, which shows them xmengine.h alone.

include(GNUInstallDirs)
set(xmengine_version 1.0.0)
set(xmengine_soversion 1)

# The header, alone in an include directory of its own, for this tree's programs.
set(xmengine_include ${PROJECT_BINARY_DIR}/include/xmengine)
file(MAKE_DIRECTORY ${xmengine_include})
file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/engine/xmengine.h ${xmengine_include}/xmengine.h
     SYMBOLIC)
add_library(xmengine_api INTERFACE)
target_include_directories(xmengine_api INTERFACE ${xmengine_include})
target_link_libraries(xmengine_api INTERFACE $<LINK_ONLY:engine>)

if(WIN32 OR EMSCRIPTEN OR DEMO_FUZZ)
    return()
endif()

# The sources once more, as position-independent code whose names are hidden but for the
# interface's (XME_API).
demo_folder_sources(xmengine_sources engine)
list(FILTER xmengine_sources EXCLUDE REGEX "/(stream|output_offline)\\.cpp$")
add_library(xmengine_objects OBJECT ${xmengine_sources})
target_include_directories(xmengine_objects PRIVATE ${PROJECT_BINARY_DIR}/include/engine)
set_target_properties(xmengine_objects PROPERTIES POSITION_INDEPENDENT_CODE ON
                      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

add_library(xmengine SHARED $<TARGET_OBJECTS:xmengine_objects>)
set_target_properties(xmengine PROPERTIES LINKER_LANGUAGE CXX VERSION ${xmengine_version}
                      SOVERSION ${xmengine_soversion})
target_include_directories(xmengine INTERFACE $<BUILD_INTERFACE:${xmengine_include}>
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# Only the interface's functions leave the library, under one version node; every name it uses
# is found at its link (but the sanitizers', which their programs bring).
target_link_options(xmengine PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/xmengine.map)
if(NOT DEMO_SANITIZE AND NOT DEMO_TSAN)
    target_link_options(xmengine PRIVATE -Wl,--no-undefined)
endif()
set_property(TARGET xmengine APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/xmengine.map)
target_link_libraries(xmengine PRIVATE m)

# The static library: the objects joined into one and every hidden name made local, then
# archived.
set(xmengine_joined ${PROJECT_BINARY_DIR}/xmengine_joined.o)
set(xmengine_static ${PROJECT_BINARY_DIR}/libxmengine.a)
add_custom_command(
    OUTPUT ${xmengine_static}
    COMMAND ${CMAKE_LINKER} -r -o ${xmengine_joined} $<TARGET_OBJECTS:xmengine_objects>
    COMMAND ${CMAKE_OBJCOPY} --localize-hidden ${xmengine_joined}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${xmengine_static}
    COMMAND ${CMAKE_AR} rcs ${xmengine_static} ${xmengine_joined}
    DEPENDS $<TARGET_OBJECTS:xmengine_objects>
    COMMAND_EXPAND_LISTS
    COMMENT "Joining the engine into libxmengine.a, its own names local"
    VERBATIM)
add_custom_target(xmengine_static ALL DEPENDS ${xmengine_static})

# The example of the README, built against the library as a program outside this tree is: C99,
# warnings as errors, the header and the shared library alone.
enable_language(C)
add_executable(render_wav ${PROJECT_SOURCE_DIR}/examples/render_wav.c)
set_target_properties(render_wav PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                      C_EXTENSIONS OFF RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/examples)
target_compile_options(render_wav PRIVATE -pedantic -Werror)
target_link_libraries(render_wav PRIVATE xmengine)

# Installed: the library in the "library" component, what a program builds against in
# "development": the header, the static library, the link name, pkg-config and CMake files.
include(CMakePackageConfigHelpers)
install(TARGETS xmengine LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
        NAMELINK_COMPONENT development)
install(FILES ${xmengine_static} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/src/engine/xmengine.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
# The .pc file finds its prefix from where it lies, so that an install under any prefix works.
file(RELATIVE_PATH xmengine_pc_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/xmengine.pc.in ${PROJECT_BINARY_DIR}/xmengine.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/xmengine.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
set(xmengine_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/xmengine)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/xmengineConfig.cmake.in
    ${PROJECT_BINARY_DIR}/xmengineConfig.cmake INSTALL_DESTINATION ${xmengine_cmake_dir}
    PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/xmengineConfigVersion.cmake
    VERSION ${xmengine_version} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/xmengineConfig.cmake
        ${PROJECT_BINARY_DIR}/xmengineConfigVersion.cmake
        DESTINATION ${xmengine_cmake_dir} COMPONENT development)

if(DEMO_TESTS AND DEMO_TOOLS AND NOT DEMO_SANITIZE AND NOT DEMO_TSAN)
    # The installed library as a program outside this tree uses it, against xmrender's WAVs
    # (not in the sanitizers' builds, whose library needs their runtime in every program).
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_test(NAME xmengine_library
             COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/xmengine_library_test.py
                     ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} $<TARGET_FILE:xmrender>
                     $<TARGET_FILE:xmcorpus>)
    set_tests_properties(xmengine_library PROPERTIES LABELS unit TIMEOUT 300)
endif()
