# The demo as a web page, built with emscripten: the portable core with the browser's platform
# layer (the files named *_web.cpp), linked into index.js and index.wasm beside the page
# index.html in DEMO_WEB_OUTPUT. The page needs no server support: any static web server serves it.
set(DEMO_WEB_OUTPUT ${PROJECT_SOURCE_DIR}/build/web CACHE PATH "Where the page is written")

file(GLOB_RECURSE web_sources CONFIGURE_DEPENDS src/*_web.cpp)
set(web_entry_sources ${web_sources})
list(FILTER web_entry_sources INCLUDE REGEX "/entry_web\\.cpp$")
list(FILTER web_sources EXCLUDE REGEX "/entry_web\\.cpp$")
add_library(demoweb STATIC ${web_sources})
target_link_libraries(demoweb PUBLIC democore)
# The director draws on the platform's console, so it sits above the platform layer.
file(GLOB director_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/director/*.cpp)
add_library(demodirector STATIC ${director_sources})
target_link_libraries(demodirector PUBLIC demoweb)

set(web_page ${PROJECT_SOURCE_DIR}/src/host/page_web.html)
set(web_audio ${PROJECT_SOURCE_DIR}/src/sound/output_web.js)
add_executable(demo_page ${web_entry_sources})
target_link_libraries(demo_page PRIVATE demodirector)
set_target_properties(demo_page PROPERTIES
    OUTPUT_NAME index SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${DEMO_WEB_OUTPUT}
    LINK_DEPENDS ${web_audio})
# No threads, no file system, memory of a fixed size (the canvas's pixels stay where they are),
# nothing for node.js or workers.
target_link_options(demo_page PRIVATE
    -sENVIRONMENT=web -sFILESYSTEM=0 -sINITIAL_MEMORY=16MB -sALLOW_MEMORY_GROWTH=0
    -sMALLOC=emmalloc -sEXPORTED_RUNTIME_METHODS=[] --pre-js ${web_audio})
# The page itself loads index.js, which loads index.wasm.
add_custom_command(OUTPUT ${DEMO_WEB_OUTPUT}/index.html
    COMMAND ${CMAKE_COMMAND} -E copy ${web_page} ${DEMO_WEB_OUTPUT}/index.html
    DEPENDS ${web_page} VERBATIM)
add_custom_target(web_page_html ALL DEPENDS ${DEMO_WEB_OUTPUT}/index.html)
