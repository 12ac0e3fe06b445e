# Installing and packaging, included at the end of the top CMakeLists.txt once the targets exist.
#
# POSIX: `cmake --install` puts demo, democapture, xmrender and xmplay in bin/ and their man
# pages in share/man/man1 under the prefix (the "programs" component), and the engine's library
# and what a program builds against it (the "library" and "development" components,
# cmake/xmengine.cmake); CPack makes a Debian package of each component (see the "package"
# presets). Windows: the build writes a zip of demo.exe and a short README.txt.
include(GNUInstallDirs)

# The version the programs print with --version, so that the package cannot tell another.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/data/version.h demo_version_line
     REGEX "kDemoVersion\\[\\] = \"[^\"]+\"")
string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" demo_version "${demo_version_line}")
if(NOT demo_version)
    message(FATAL_ERROR "no kDemoVersion in src/data/version.h")
endif()

if(WIN32)
    # A zip that runs as it is unpacked: the statically linked demo.exe and how to run it.
    set(windows_zip ${PROJECT_BINARY_DIR}/ordblind-${demo_version}-windows.zip)
    add_custom_command(
        OUTPUT ${windows_zip}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
                ${PROJECT_BINARY_DIR}/README.txt
        COMMAND ${CMAKE_COMMAND} -E tar cf ${windows_zip} --format=zip $<TARGET_FILE_NAME:demo>
                README.txt
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
        DEPENDS demo ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
        COMMENT "Packing demo.exe and README.txt into ${windows_zip}"
        VERBATIM)
    add_custom_target(windows_zip ALL DEPENDS ${windows_zip})
    return()
endif()

# Directories made by the install are 755 whatever the umask, as a package's must be.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(installed_programs demo)
if(TARGET democapture)
    list(APPEND installed_programs democapture)
endif()
if(TARGET xmrender)
    list(APPEND installed_programs xmrender)
endif()
if(TARGET xmplay)
    list(APPEND installed_programs xmplay)
endif()
install(TARGETS ${installed_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT programs)

# The man pages, compressed at build time where gzip is there (-n: no name or time stamp in
# the file, so that the same page gives the same bytes).
find_program(GZIP_PROGRAM gzip)
set(man_pages)
foreach(program ${installed_programs})
    set(page_source ${PROJECT_SOURCE_DIR}/docs/man/${program}.1)
    if(GZIP_PROGRAM)
        set(page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
        add_custom_command(
            OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E copy ${page_source} ${PROJECT_BINARY_DIR}/man/${program}.1
            COMMAND ${GZIP_PROGRAM} -9nf ${PROJECT_BINARY_DIR}/man/${program}.1
            DEPENDS ${page_source}
            VERBATIM)
    else()
        set(page ${page_source})
    endif()
    list(APPEND man_pages ${page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

# The Debian packages: `cpack -G DEB` in a build tree (or `cmake --workflow --preset package`).
# One a component, as Debian splits a library: ordblind (the programs), libxmengine1 (the
# shared library alone, which programs built against it need and which several versions of
# can be installed side by side) and libxmengine-dev (what building against it needs). Their
# dependencies on other packages are those dpkg-shlibdeps (dpkg-dev) finds in their files.
set(CPACK_PACKAGE_NAME ordblind)
set(CPACK_PACKAGE_VERSION ${demo_version})
set(CPACK_PACKAGE_VENDOR "ordblind maintainers")
if(NOT CPACK_PACKAGE_CONTACT)
    set(CPACK_PACKAGE_CONTACT
        "ordblind maintainers <maintainers@users.noreply.c-seed-d3a9dd7b.example>")
endif()
# Each package's description: its summary line, then the text. The package-wide summary is
# IGNORE, which CPack then leaves out instead of putting it above every package's own.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY IGNORE)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "real-time demo in text mode with its own XM music engine
Kald mig bare ordblind... draws 80 by 50 console cells 25 times a second in a terminal
while it plays its own song through its own XM loader, mixer and sequencer.
democapture records the demo offline to PNG pictures, WAV or video; xmrender renders
any XM song to a WAV file; xmplay plays XM songs live in a terminal with a pattern view.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME ordblind)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SUGGESTS ffmpeg)  # democapture --video runs it

if(TARGET xmengine)
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libxmengine${xmengine_soversion})
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
    # A shlibs file, so that programs built against the library depend on this package.
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "XM (Extended Module) song player library
xmengine loads XM songs and renders them, exactly and deterministically, into 16-bit or
float stereo at any rate from 8000 to 192000 Hz: a player per song, any number of players,
exact seeks, the row playing, for programs that keep pictures in time with music.")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libxmengine-dev)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
    set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
    set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "XM song player library: development files
The header xmengine.h, the static library, and the pkg-config and CMake files for building
programs against xmengine.")
endif()
include(CPack)
