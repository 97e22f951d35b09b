# Runs lupdate over the sources of every translation catalogue.
#
#   cmake -DMODE=check|update -DLUPDATE=lupdate -DROOT=project-root
#         -DLIST=catalogue-list [-DWORK_DIR=dir] -P TranslationCatalogues.cmake
#
# LIST sets ORVIK_CATALOGUES, entries "catalogue.ts|dir,dir" with the folders
# relative to ROOT (written by orvik_add_catalogue).
# update: refreshes each .ts in place; new texts arrive unfinished, texts the
#         sources no longer have are dropped.
# check:  fails when a catalogue holds an unfinished, empty, vanished or
#         obsolete entry, a translation that drops a placeholder, accelerator
#         or markup tag of its source, or when refreshing a copy of it in
#         WORK_DIR would change it (a text the sources have that it lacks, or
#         one they no longer have).
cmake_minimum_required(VERSION 3.25)

foreach(var MODE LUPDATE ROOT LIST)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
if(MODE STREQUAL "check" AND NOT DEFINED WORK_DIR)
    message(FATAL_ERROR "WORK_DIR is not set")
endif()
include(${LIST})
if(NOT ORVIK_CATALOGUES)
    message(FATAL_ERROR "${LIST} names no catalogue")
endif()

# No line numbers: a catalogue changes only when its texts do. The project
# root as include path lets lupdate see the namespaces of the classes, which
# are part of the translation contexts.
set(options -locations none -no-obsolete -silent -I ${ROOT})

# The marks of a text that its translation must keep: placeholders (%1, %n),
# accelerators (&X, the letter free) and markup tags ({a, {/a: see plain_messages).
function(marks_of text variable)
    string(REGEX MATCHALL "%[0-9n]+|&[^ &]|{/?[a-zA-Z]+" marks "${text}")
    # An accelerator may take another letter in another language.
    list(TRANSFORM marks REPLACE "^&.+$" "&")
    list(SORT marks)
    set(${variable} "${marks}" PARENT_SCOPE)
endfunction()

# The source and translation pairs of a catalogue as a list, the XML
# entities decoded; a CMake list cannot hold semicolons, so each becomes a
# comma, and a markup bracket < or > becomes { or }.
function(plain_messages text variable)
    string(REPLACE "&apos;" "'" text "${text}")
    string(REPLACE "&quot;" "\"" text "${text}")
    string(REPLACE "&lt;" "{" text "${text}")
    string(REPLACE "&gt;" "}" text "${text}")
    string(REPLACE "&amp;" "&" text "${text}")
    string(REPLACE ";" "," text "${text}")
    string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation>[^<]*</translation>" messages "${text}")
    set(${variable} "${messages}" PARENT_SCOPE)
endfunction()

function(refresh ts sources)
    execute_process(COMMAND ${LUPDATE} ${options} ${sources} -ts ${ts}
        RESULT_VARIABLE result ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${ts} (${result}):\n${errors}")
    endif()
endfunction()

set(failures "")
foreach(entry IN LISTS ORVIK_CATALOGUES)
    string(REPLACE "|" ";" parts "${entry}")
    list(POP_FRONT parts ts)
    string(REPLACE "," ";" dirs "${parts}")
    set(sources "")
    foreach(dir IN LISTS dirs)
        list(APPEND sources ${ROOT}/${dir})
    endforeach()
    get_filename_component(name ${ts} NAME)

    if(MODE STREQUAL "update")
        refresh(${ts} "${sources}")
        message(STATUS "Refreshed ${name}")
        continue()
    endif()

    if(NOT EXISTS ${ts})
        list(APPEND failures "${name} does not exist")
        continue()
    endif()
    file(READ ${ts} committed)
    foreach(pattern "type=\"unfinished\"" "type=\"vanished\"" "type=\"obsolete\"" "<translation></translation>"
                    "<translation/>")
        string(REGEX MATCHALL "${pattern}" found "${committed}")
        list(LENGTH found count)
        if(count GREATER 0)
            list(APPEND failures "${name} holds ${count} entries with ${pattern}")
        endif()
    endforeach()

    plain_messages("${committed}" messages)
    foreach(message IN LISTS messages)
        string(REGEX REPLACE "^<source>([^<]*)</source>.*$" "\\1" source "${message}")
        string(REGEX REPLACE "^.*<translation>([^<]*)</translation>$" "\\1" translation "${message}")
        marks_of("${source}" expected)
        marks_of("${translation}" kept)
        if(NOT expected STREQUAL kept)
            list(APPEND failures "${name}: \"${translation}\" does not keep \"${expected}\" of \"${source}\"")
        endif()
    endforeach()

    file(MAKE_DIRECTORY ${WORK_DIR})
    set(copy ${WORK_DIR}/${name})
    file(COPY_FILE ${ts} ${copy})
    refresh(${copy} "${sources}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ts} ${copy} RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
        execute_process(COMMAND diff -u ${ts} ${copy} OUTPUT_VARIABLE difference)
        list(APPEND failures "${name} does not match the texts of its sources (${dirs}):\n${difference}")
    endif()
endforeach()

if(failures)
    list(JOIN failures "\n" text)
    message(FATAL_ERROR "${text}\nRefresh the catalogues with the target orvik_update_translations, "
                        "then translate every unfinished entry.")
endif()
