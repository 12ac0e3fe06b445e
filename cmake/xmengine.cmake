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

if(WIN32 OR EMSCRIPTEN)
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
# Only the interface's functions leave the library, under one version node.
target_link_options(xmengine PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/xmengine.map -Wl,--no-undefined)
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
