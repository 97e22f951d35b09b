# The catalogue check on a fixture: a namespaced class with one text. The
# check must pass only while the catalogue holds exactly the texts of the
# sources, each translated.
#   cmake -DSCRIPT=TranslationCatalogues.cmake -DLUPDATE=lupdate -DWORK_DIR=dir -P this
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)
set(ts ${WORK_DIR}/Fixture_de.ts)
file(WRITE ${WORK_DIR}/list.cmake "set(ORVIK_CATALOGUES \"${ts}|src\")\n")
# The class is declared in a header included by its path from the root, as
# in the project, so its context carries the namespace only if lupdate
# resolves the include.
file(WRITE ${root}/src/Greeter.h [=[
#pragma once
#include <QObject>
namespace Outer::Inner
{
class Greeter : public QObject
{
    Q_OBJECT
public:
    QString greeting() const;
};
} // namespace Outer::Inner
]=])

function(write_source)
    list(JOIN ARGN "\n" texts)
    file(WRITE ${root}/src/Greeter.cpp "#include \"src/Greeter.h\"\nnamespace Outer::Inner\n{\n"
               "QString Greeter::greeting() const\n{\n${texts}\n    return {};\n}\n} // namespace Outer::Inner\n")
endfunction()

# mode: check or update; expect: 0 (passes) or 1 (fails)
function(run mode expect what)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DMODE=${mode} -DLUPDATE=${LUPDATE} -DROOT=${root} -DLIST=${WORK_DIR}/list.cmake
                -DWORK_DIR=${WORK_DIR}/work -P ${SCRIPT}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(expect EQUAL 0 AND NOT result EQUAL 0)
        message(FATAL_ERROR "${what}: expected to pass, failed:\n${output}")
    elseif(NOT expect EQUAL 0 AND result EQUAL 0)
        message(FATAL_ERROR "${what}: expected to fail, passed:\n${output}")
    endif()
endfunction()

function(translate source translation)
    file(READ ${ts} text)
    string(REPLACE "<source>${source}</source>\n        <translation type=\"unfinished\"></translation>"
                   "<source>${source}</source>\n        <translation>${translation}</translation>" changed "${text}")
    if(changed STREQUAL text)
        message(FATAL_ERROR "no unfinished entry for ${source} in:\n${text}")
    endif()
    file(WRITE ${ts} "${changed}")
endfunction()

write_source("    tr(\"Hello %1\");")
run(check 1 "missing catalogue")
run(update 0 "first update")
file(READ ${ts} text)
if(NOT text MATCHES "<name>Outer::Inner::Greeter</name>")
    message(FATAL_ERROR "context without its namespace:\n${text}")
endif()
run(check 1 "unfinished entry")
translate("Hello %1" "Hallo %1")
run(check 0 "complete catalogue")

write_source("    tr(\"Hello %1\");" "    tr(\"Goodbye\");")
run(check 1 "text missing from the catalogue")
run(update 0 "update with a new text")
translate("Goodbye" "Auf Wiedersehen")
run(check 0 "catalogue complete again")

write_source("    tr(\"Hello %1\");")
run(check 1 "entry the sources no longer have")
run(update 0 "update dropping a text")
run(check 0 "dropped text")
file(READ ${ts} text)
if(text MATCHES "Goodbye" OR NOT text MATCHES "Hallo %1")
    message(FATAL_ERROR "update kept a dropped text or lost a translation:\n${text}")
endif()

# A translation must keep the placeholders of its source.
string(REPLACE "<translation>Hallo %1</translation>" "<translation>Hallo</translation>" dropped "${text}")
file(WRITE ${ts} "${dropped}")
run(check 1 "placeholder dropped")

# An entry emptied by hand counts as untranslated.
string(REPLACE "<translation>Hallo %1</translation>" "<translation></translation>" emptied "${text}")
file(WRITE ${ts} "${emptied}")
run(check 1 "empty translation")
