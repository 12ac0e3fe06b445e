# The demo as a web page, built with emscripten: the program links into index.js and index.wasm,
# with the page's JavaScript (platform_web.js) ahead of it, beside the page index.html in
# DEMO_WEB_OUTPUT. The page needs no server support: any static web server serves it.
set(DEMO_WEB_OUTPUT ${PROJECT_SOURCE_DIR}/build/web CACHE PATH "Where the page is written")

set(web_page ${PROJECT_SOURCE_DIR}/src/host/page_web.html)
set(web_platform ${PROJECT_SOURCE_DIR}/src/host/platform_web.js)
set_target_properties(demo PROPERTIES
    OUTPUT_NAME index SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${DEMO_WEB_OUTPUT}
    LINK_DEPENDS ${web_platform})
# No threads, no file system, memory of a fixed size (the canvas's pixels stay where they are),
# nothing for node.js or workers.
target_link_options(demo PRIVATE
    -sENVIRONMENT=web -sFILESYSTEM=0 -sINITIAL_MEMORY=16MB -sALLOW_MEMORY_GROWTH=0
    -sMALLOC=emmalloc -sEXPORTED_RUNTIME_METHODS=[] --pre-js ${web_platform})
# The page itself loads index.js, which loads index.wasm.
add_custom_command(OUTPUT ${DEMO_WEB_OUTPUT}/index.html
    COMMAND ${CMAKE_COMMAND} -E copy ${web_page} ${DEMO_WEB_OUTPUT}/index.html
    DEPENDS ${web_page} VERBATIM)
add_custom_target(web_page_html ALL DEPENDS ${DEMO_WEB_OUTPUT}/index.html)
