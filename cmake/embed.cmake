# Compiles the binary assets of src/data into the program. Every file named *.bin, *.rgb or
# *.xm there becomes two symbols, for example glyph_font.bin becomes
#   extern const unsigned char asset_glyph_font[];  extern const unsigned asset_glyph_font_size;
# The C++ source for each file is written at build time by embed_file.cmake.
set(EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_file.cmake)

function(embed_data_files out_var data_dir)
    file(GLOB data_files CONFIGURE_DEPENDS ${data_dir}/*.bin ${data_dir}/*.rgb ${data_dir}/*.xm)
    set(generated "")
    foreach(data_file ${data_files})
        get_filename_component(stem ${data_file} NAME_WE)
        set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/asset_${stem}.cpp)
        add_custom_command(
            OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -DINPUT=${data_file} -DOUTPUT=${output}
                    -DSYMBOL=asset_${stem} -P ${EMBED_SCRIPT}
            DEPENDS ${data_file} ${EMBED_SCRIPT}
            COMMENT "Embedding ${stem}"
            VERBATIM)
        list(APPEND generated ${output})
    endforeach()
    set(${out_var} ${generated} PARENT_SCOPE)
endfunction()
