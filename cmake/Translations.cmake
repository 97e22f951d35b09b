# Translation catalogues. Each .ts file under resources/translations holds
# the user-visible texts of some source folders; it is compiled with lrelease
# and either embedded in a library's resources (under :/translations, so the
# library's texts travel with it) or left to the caller to place.
#
# Every catalogue is also listed for the completeness test and for the target
# orvik_update_translations, which refreshes the .ts files from the sources;
# both run lupdate through cmake/TranslationCatalogues.cmake with the same
# options, so a refreshed catalogue passes the test once it is translated.
include_guard(GLOBAL)

# The file that lists every catalogue for cmake/TranslationCatalogues.cmake.
function(orvik_catalogue_list variable)
    set(${variable} ${CMAKE_BINARY_DIR}/translation_catalogues.cmake PARENT_SCOPE)
endfunction()

# orvik_add_catalogue(target TS_FILE file SOURCE_DIRS dir... [EMBED]
#                     [QM_FILES_OUTPUT_VARIABLE var])
# SOURCE_DIRS are relative to the project root and searched recursively.
function(orvik_add_catalogue target)
    cmake_parse_arguments(ARG "EMBED" "TS_FILE;QM_FILES_OUTPUT_VARIABLE" "SOURCE_DIRS" ${ARGN})
    get_filename_component(ts ${ARG_TS_FILE} ABSOLUTE)
    qt_add_lrelease(${target} TS_FILES ${ts} QM_FILES_OUTPUT_VARIABLE qm_files)
    if(ARG_EMBED)
        qt_add_resources(${target} "${target}_translations"
            PREFIX "/translations"
            BASE "${CMAKE_CURRENT_BINARY_DIR}"
            FILES ${qm_files})
    endif()
    if(ARG_QM_FILES_OUTPUT_VARIABLE)
        set(${ARG_QM_FILES_OUTPUT_VARIABLE} ${qm_files} PARENT_SCOPE)
    endif()

    list(JOIN ARG_SOURCE_DIRS "," dirs)
    set_property(GLOBAL APPEND PROPERTY ORVIK_CATALOGUES "${ts}|${dirs}")
    get_property(catalogues GLOBAL PROPERTY ORVIK_CATALOGUES)
    orvik_catalogue_list(list)
    file(WRITE ${list} "set(ORVIK_CATALOGUES \"${catalogues}\")\n")

    if(NOT TARGET orvik_update_translations)
        add_custom_target(orvik_update_translations
            COMMAND ${CMAKE_COMMAND} -DMODE=update -DLUPDATE=$<TARGET_FILE:Qt6::lupdate>
                    -DROOT=${PROJECT_SOURCE_DIR} -DLIST=${list}
                    -P ${PROJECT_SOURCE_DIR}/cmake/TranslationCatalogues.cmake
            COMMENT "Refreshing the translation catalogues from the sources"
            VERBATIM)
    endif()
endfunction()
