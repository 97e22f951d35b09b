# Writes the licence document the About dialog shows, from the copyright
# files of the packages in the component list. Run while building:
#   cmake -DOUTPUT_TEXT=Licences.txt -DOUTPUT_SOURCE=LicenceDocument.cpp
#         [-DDOC_DIR=/usr/share/doc] [-DCOMPONENTS_FILE=list.cmake]
#         [-DORVIK_SANITIZE=ON] -P GenerateLicenceDocument.cmake
#
# Each section reads
#   This software contains <name> under the following license:
#   <the copyright files of the name's packages>
#   <two empty lines>
#   <50 asterisks>
#   <one empty line>
# OUTPUT_TEXT is the document as UTF-8; OUTPUT_SOURCE defines
# Hvd::Weft::Components::licenceDocument() with it and is only rewritten when
# it changes, so an unchanged document does not rebuild anything.
cmake_minimum_required(VERSION 3.25)

foreach(required OUTPUT_TEXT OUTPUT_SOURCE)
    if(NOT ${required})
        message(FATAL_ERROR "Licence document: ${required} is not set.")
    endif()
endforeach()
if(NOT DOC_DIR)
    set(DOC_DIR /usr/share/doc)
endif()
if(NOT COMPONENTS_FILE)
    set(COMPONENTS_FILE ${CMAKE_CURRENT_LIST_DIR}/LicenceComponents.cmake)
endif()

include(${COMPONENTS_FILE})
if(NOT ORVIK_LICENCE_COMPONENTS)
    message(FATAL_ERROR "Licence document: ${COMPONENTS_FILE} lists no components.")
endif()

# Section names in the order of their first pair; the packages of the n-th
# name in packages_<n>.
set(names)
set(missing)
foreach(entry IN LISTS ORVIK_LICENCE_COMPONENTS)
    if(NOT entry MATCHES "^([^|]+)\\|([^|/ ]+)$")
        message(FATAL_ERROR "Licence document: \"${entry}\" in ${COMPONENTS_FILE} is not \"Name|package\".")
    endif()
    set(name "${CMAKE_MATCH_1}")
    set(package "${CMAKE_MATCH_2}")
    list(FIND names "${name}" index)
    if(index EQUAL -1)
        list(LENGTH names index)
        list(APPEND names "${name}")
        set(packages_${index})
    endif()
    list(APPEND packages_${index} "${package}")
    if(NOT EXISTS "${DOC_DIR}/${package}/copyright")
        list(APPEND missing "${package} (${name})")
    endif()
endforeach()

if(missing)
    list(JOIN missing "\n    " missing_text)
    message(FATAL_ERROR
        "Licence document: no copyright file for\n    ${missing_text}\n"
        "under ${DOC_DIR}. Install the packages, or correct the list in ${COMPONENTS_FILE} "
        "for the libraries this machine links.")
endif()

string(REPEAT "*" 50 stars)
set(document "")
set(index 0)
foreach(name IN LISTS names)
    set(body "")
    set(seen)
    list(REMOVE_DUPLICATES packages_${index})
    foreach(package IN LISTS packages_${index})
        file(READ "${DOC_DIR}/${package}/copyright" text)
        # The section adds its own line breaks after the text.
        string(REGEX REPLACE "[ \t\r\n]+$" "" text "${text}")
        if(text STREQUAL "")
            message(FATAL_ERROR "Licence document: ${DOC_DIR}/${package}/copyright (${name}) is empty.")
        endif()
        # Packages built from one source share one copyright file.
        string(SHA256 hash "${text}")
        if(NOT hash IN_LIST seen)
            list(APPEND seen ${hash})
            if(NOT body STREQUAL "")
                string(APPEND body "\n\n")
            endif()
            string(APPEND body "${text}")
        endif()
    endforeach()
    string(APPEND document
        "This software contains ${name} under the following license:\n${body}\n\n\n${stars}\n\n")
    math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT_TEXT}" "${document}")

# The text as a byte array: no limit on literal length, and any byte is safe.
file(READ "${OUTPUT_TEXT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REPEAT "[0-9a-f]" 32 line_of_hex)
string(REGEX REPLACE "(${line_of_hex})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")

set(source "// Generated from the package copyright files by cmake/GenerateLicenceDocument.cmake.
#include \"components/widgets/LicenceDocument.h\"

namespace Hvd::Weft::Components
{

namespace
{

const unsigned char document[${size}] = {
${bytes}};

} // namespace

QString licenceDocument()
{
    return QString::fromUtf8(reinterpret_cast<const char*>(document), qsizetype(sizeof document));
}

} // namespace Hvd::Weft::Components
")
file(WRITE "${OUTPUT_SOURCE}.new" "${source}")
file(COPY_FILE "${OUTPUT_SOURCE}.new" "${OUTPUT_SOURCE}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT_SOURCE}.new")
