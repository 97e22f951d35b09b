# The licence document generator on fixture packages: the section format,
# sections gathered by name, shared copyright files shown once, and a clear
# failure for a listed package without a copyright file.
#   cmake -DSCRIPT=cmake/GenerateLicenceDocument.cmake -DWORK_DIR=dir -P this
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
set(doc "${WORK_DIR}/doc")
file(WRITE "${doc}/pkg-a/copyright" "Alpha licence\n\n  \n")
file(WRITE "${doc}/pkg-b/copyright" "Beta licence <b@example.org> *not bold*; \"quoted\"\n")
file(WRITE "${doc}/pkg-c/copyright" "Alpha licence\n")
file(WRITE "${doc}/pkg-d/copyright" "Delta licence\n\n\nends here\n")

set(failures 0)
macro(fail message)
    message(SEND_ERROR "${message}")
    math(EXPR failures "${failures} + 1")
endmacro()

function(generate name list result_var error_var)
    file(WRITE "${WORK_DIR}/${name}.cmake" "set(ORVIK_LICENCE_COMPONENTS ${list})\n")
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DOUTPUT_TEXT=${WORK_DIR}/${name}.txt -DOUTPUT_SOURCE=${WORK_DIR}/${name}.cpp
                -DDOC_DIR=${doc} -DCOMPONENTS_FILE=${WORK_DIR}/${name}.cmake -P ${SCRIPT}
        RESULT_VARIABLE result ERROR_VARIABLE error OUTPUT_QUIET)
    set(${result_var} "${result}" PARENT_SCOPE)
    set(${error_var} "${error}" PARENT_SCOPE)
endfunction()

string(REPEAT "*" 50 stars)

generate(grouped "\"First|pkg-a\" \"Second|pkg-b\" \"First|pkg-c\" \"First|pkg-d\"" result error)
if(NOT result EQUAL 0)
    fail("grouped list failed: ${error}")
endif()
file(READ "${WORK_DIR}/grouped.txt" text)
string(CONCAT expected
    "This software contains First under the following license:\n"
    "Alpha licence\n\nDelta licence\n\n\nends here\n\n\n${stars}\n\n"
    "This software contains Second under the following license:\n"
    "Beta licence <b@example.org> *not bold*; \"quoted\"\n\n\n${stars}\n\n")
if(NOT text STREQUAL expected)
    fail("grouped document differs:\n[${text}]\nexpected:\n[${expected}]")
endif()
string(LENGTH "${expected}" length)
file(READ "${WORK_DIR}/grouped.cpp" source)
string(FIND "${source}" "document[${length}] = {\n0x54,0x68,0x69,0x73," at)
if(at EQUAL -1)
    fail("the source does not hold the document's ${length} bytes:\n${source}")
endif()

generate(missing "\"First|pkg-a\" \"Gone|pkg-gone\" \"Also gone|pkg-none\"" result error)
if(result EQUAL 0)
    fail("a missing copyright file did not fail")
endif()
if(NOT error MATCHES "pkg-gone \\(Gone\\)" OR NOT error MATCHES "pkg-none \\(Also gone\\)")
    fail("the failure does not name the missing packages: ${error}")
endif()
if(EXISTS "${WORK_DIR}/missing.cpp" OR EXISTS "${WORK_DIR}/missing.txt")
    fail("a failed run left its output")
endif()

generate(malformed "\"First pkg-a\"" result error)
if(result EQUAL 0 OR NOT error MATCHES "is not[ \n]+\"Name\\|package\"")
    fail("a malformed entry was not refused: ${error}")
endif()

generate(empty "" result error)
if(result EQUAL 0 OR NOT error MATCHES "lists no components")
    fail("an empty list was not refused: ${error}")
endif()

if(failures)
    message(FATAL_ERROR "${failures} failed")
endif()
message("licence document generator: all passed")
