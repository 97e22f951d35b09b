# orvik_add_licence_document(TARGET)
# Adds the generated licence document (Hvd::Weft::Components::licenceDocument)
# to TARGET. It is gathered while building, from the copyright files of the
# packages in cmake/LicenceComponents.cmake; a listed file that is missing
# fails the build and names the package. The document is also left as
# Licences.txt in the target's build folder.
function(orvik_add_licence_document target)
    set(list_file ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/LicenceComponents.cmake)
    set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/GenerateLicenceDocument.cmake)
    set(doc_dir /usr/share/doc)
    include(${list_file})

    # A package upgrade rewrites its copyright file and so the document. A
    # file missing now is left to the script, which reports it.
    set(depends ${list_file} ${script})
    foreach(entry IN LISTS ORVIK_LICENCE_COMPONENTS)
        string(REGEX REPLACE "^.*\\|" "" package "${entry}")
        if(EXISTS ${doc_dir}/${package}/copyright)
            list(APPEND depends ${doc_dir}/${package}/copyright)
        endif()
    endforeach()
    list(REMOVE_DUPLICATES depends)

    set(source ${CMAKE_CURRENT_BINARY_DIR}/LicenceDocument.cpp)
    set(text ${CMAKE_CURRENT_BINARY_DIR}/Licences.txt)
    add_custom_command(
        OUTPUT ${source} ${text}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT_TEXT=${text} -DOUTPUT_SOURCE=${source} -DDOC_DIR=${doc_dir}
                -DCOMPONENTS_FILE=${list_file} -DORVIK_SANITIZE=${ORVIK_SANITIZE} -P ${script}
        DEPENDS ${depends}
        COMMENT "Gathering the licence document from ${doc_dir}"
        VERBATIM)
    # Nothing for moc or uic in four megabytes of byte values.
    set_source_files_properties(${source} PROPERTIES SKIP_AUTOGEN ON)
    target_sources(${target} PRIVATE ${source})
endfunction()
