# The libraries of src/: one a folder, each a static library of the folder's portable files and
# those named for the platform being built (DEMO_PLATFORM_SUFFIXES, chosen in CMakeLists.txt).
#
# A library's headers are reached as "folder/name.h" through an include directory of its own in
# the build tree, which only the library and those that link it see. So the folder map is the
# dependency map: a file that includes a header of a folder its library does not use fails to
# compile, and since a library may use only libraries declared before it, no cycle can form.

# Whether a source file belongs to the platform being built: files without a platform suffix
# belong to all of them.
function(demo_platform_file out_var source)
    get_filename_component(stem ${source} NAME_WE)
    set(${out_var} TRUE PARENT_SCOPE)
    if(stem MATCHES "_(win32|posix|sdl|web)$" AND NOT CMAKE_MATCH_1 IN_LIST DEMO_PLATFORM_SUFFIXES)
        set(${out_var} FALSE PARENT_SCOPE)
    endif()
endfunction()

# demo_library(NAME [USES LIBRARY...] [SOURCES FILE...]): the library of src/NAME, using the
# libraries named after USES, with generated SOURCES added.
function(demo_library name)
    cmake_parse_arguments(PARSE_ARGV 1 library "" "" "USES;SOURCES")
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
    set(kept ${library_SOURCES})
    foreach(source ${sources})
        demo_platform_file(ours ${source})
        if(ours)
            list(APPEND kept ${source})
        endif()
    endforeach()
    add_library(${name} STATIC ${kept})

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

# The entry point of the platform being built, from src/entry.
function(demo_entry_sources out_var)
    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/entry/*.cpp)
    set(kept "")
    foreach(source ${sources})
        demo_platform_file(ours ${source})
        if(ours)
            list(APPEND kept ${source})
        endif()
    endforeach()
    set(${out_var} ${kept} PARENT_SCOPE)
endfunction()
