# parlewick_beside(<target> <subdir> <files...>)
# Copies files next to the executables, into bin/<subdir>, where the program looks for its
# bubble pictures and emoji ("kikbb", "emoji", "kikemoji"); installed into share/parlewick/<subdir>.
# Generated files may be passed too.
function(parlewick_beside target subdir)
    set(outputs)
    foreach(file ${ARGN})
        get_filename_component(name ${file} NAME)
        set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${subdir}/${name})
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${out}
            DEPENDS ${file}
            VERBATIM)
        list(APPEND outputs ${out})
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${outputs})
    install(FILES ${outputs} DESTINATION ${PARLEWICK_DATA_DIR}/${subdir})
endfunction()
