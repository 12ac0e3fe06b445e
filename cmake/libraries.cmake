# The libraries of src/: one a folder, each a static library of the folder's portable files and
# those named for the platform being built (DEMO_PLATFORM_SUFFIXES, chosen in CMakeLists.txt).
#
# A library's headers are reached as "folder/name.h" through an include directory of its own in
# the build tree, which only the library and those that link it see. So the folder map is the
# dependency map: a file that includes a header of a folder its library does not use fails to
# compile, and since a library may use only libraries declared before it, no cycle can form.

# The sources of src/FOLDER that belong to the platform being built: the files without a
# platform suffix and those named for this platform.
function(demo_folder_sources out_var folder)
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
    set(kept "")
    foreach(source ${sources})
        get_filename_component(stem ${source} NAME_WE)
        if(NOT stem MATCHES "_(win32|posix|sdl|web)$" OR CMAKE_MATCH_1 IN_LIST DEMO_PLATFORM_SUFFIXES)
            list(APPEND kept ${source})
        endif()
    endforeach()
    set(${out_var} ${kept} PARENT_SCOPE)
endfunction()

# demo_library(NAME [USES LIBRARY...] [SOURCES FILE...]): the library of src/NAME, using the
# libraries named after USES, with generated SOURCES added.
function(demo_library name)
    cmake_parse_arguments(PARSE_ARGV 1 library "" "" "USES;SOURCES")
    demo_folder_sources(sources ${name})
    add_library(${name} STATIC ${sources} ${library_SOURCES})

    set(include_root ${PROJECT_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${include_root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${include_root}/${name} SYMBOLIC)
    target_include_directories(${name} PUBLIC ${include_root})

    foreach(used ${library_USES})
        if(NOT TARGET ${used})
            message(FATAL_ERROR "src/${name} uses ${used}, which is not declared before it: "
                                "each library may use only the libraries below it")
        endif()
    endforeach()
    target_link_libraries(${name} PUBLIC ${library_USES})
endfunction()
