# The one status table (src/bridge/status_table.tsv) and the rule that makes one of its forms
# (see cmake/status_table.cmake) at build time.
set(ORVISTAL_STATUS_TABLE ${CMAKE_SOURCE_DIR}/src/bridge/status_table.tsv)
function(orvistal_status_form form output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DTABLE=${ORVISTAL_STATUS_TABLE} -DFORM=${form} -DOUTPUT=${output}
            -P ${CMAKE_SOURCE_DIR}/cmake/status_table.cmake
    DEPENDS ${ORVISTAL_STATUS_TABLE} ${CMAKE_SOURCE_DIR}/cmake/status_table.cmake
    COMMENT "Making ${form} status names from status_table.tsv"
    VERBATIM)
endfunction()
