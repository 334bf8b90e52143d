# Fails when any C++ source differs from what the pinned .clang-format makes of it.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/surface/*.[ch]pp ${SOURCE_DIR}/output/*.[ch]pp ${SOURCE_DIR}/capture/*.[ch]pp ${SOURCE_DIR}/form/*.[ch]pp ${SOURCE_DIR}/win32/*.[ch]pp ${SOURCE_DIR}/window/*.[ch]pp
    ${SOURCE_DIR}/cli/*.[ch]pp ${SOURCE_DIR}/compose/*.[ch]pp ${SOURCE_DIR}/tests/*.[ch]pp ${SOURCE_DIR}/bench/*.[ch]pp
    ${SOURCE_DIR}/fuzz/*.[ch]pp ${SOURCE_DIR}/web/*.[ch]pp)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "Sources are not formatted; run clang-format -i on the files above.")
endif()
