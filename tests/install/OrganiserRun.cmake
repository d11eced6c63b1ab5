# Runs an organiser program in fresh home and XDG folders, without LD_LIBRARY_PATH, and
# checks what its console listing shows: the kit's English texts, the sample tasks saved,
# a group's members by their display names, the calendar's to-dos.
#
# Included by the install test. On its own (cmake -DORGANISER=<program> -DWORK_DIR=<folder>
# -P OrganiserRun.cmake) it then runs the program again on a store that refuses every
# write: the failed save must reach stderr, and the program must end instead of waiting in
# a dialog that nobody can answer.

# Runs \a program in the folders under \a work with the arguments that follow; sets
# ORGANISER_RC, ORGANISER_OUT and ORGANISER_ERR.
function(zem_run_organiser program work)
    file(MAKE_DIRECTORY ${work}/runtime)
    file(CHMOD ${work}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
            QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 HOME=${work}/home
            XDG_DATA_HOME=${work}/data XDG_CONFIG_HOME=${work}/config
            XDG_RUNTIME_DIR=${work}/runtime ${program} ${ARGN}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    set(ORGANISER_RC "${rc}" PARENT_SCOPE)
    set(ORGANISER_OUT "${out}" PARENT_SCOPE)
    set(ORGANISER_ERR "${err}" PARENT_SCOPE)
endfunction()

function(zem_check_organiser program work)
    file(REMOVE_RECURSE ${work})
    zem_run_organiser(${program} ${work})
    set(missing "")
    foreach(expected "Delete Alert:" "Saved 4 sample tasks"
                     "group Suppliers: Acme Office Supplies, Anna Maria Berg\n" "Renew passport")
        if(NOT ORGANISER_OUT MATCHES "${expected}")
            string(STRIP "${expected}" expected)
            string(APPEND missing "\n  ${expected}")
        endif()
    endforeach()
    if(missing OR NOT ORGANISER_RC EQUAL 0)
        message(FATAL_ERROR "${program} ended with ${ORGANISER_RC} and did not print:${missing}\n"
                            "stdout:\n${ORGANISER_OUT}\nstderr:\n${ORGANISER_ERR}")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    foreach(var ORGANISER WORK_DIR)
        if(NOT DEFINED ${var})
            message(FATAL_ERROR "${var} not set")
        endif()
    endforeach()
    zem_check_organiser(${ORGANISER} ${WORK_DIR})

    # Empty the task store and make it refuse every insert: the next run saves its sample
    # tasks again, and fails.
    file(GLOB store ${WORK_DIR}/data/Organiser/SQLData/*.sql)
    execute_process(COMMAND /usr/bin/python3 -c [[
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for (table,) in db.execute("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'Z!_%' ESCAPE '!'").fetchall():
    db.execute(f'DELETE FROM "{table}"')
    db.execute(f'CREATE TRIGGER "refuse_{table}" BEFORE INSERT ON "{table}" BEGIN SELECT RAISE(ABORT, \'written nowhere\'); END')
db.commit()
]] "${store}" RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT store)
        message(FATAL_ERROR "cannot prepare the store \"${store}\": ${err}")
    endif()
    zem_run_organiser(${ORGANISER} ${WORK_DIR})
    if(ORGANISER_RC EQUAL 0 OR NOT ORGANISER_ERR MATCHES "Alert: [^\n]*written nowhere")
        message(FATAL_ERROR "a failed save ended the organiser with ${ORGANISER_RC}; stderr:\n"
                            "${ORGANISER_ERR}")
    endif()
endif()
