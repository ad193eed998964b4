# `cmake --build build --target format` rewrites the sources with the committed .clang-format;
# `format-check` fails when a file is not formatted.
find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14)
if(CLANG_FORMAT_EXE)
    file(GLOB_RECURSE LEDGORA_FORMAT_SOURCES CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
        ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
        ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/bench/*.h
        ${PROJECT_SOURCE_DIR}/fuzz/*.cpp ${PROJECT_SOURCE_DIR}/fuzz/*.h)
    add_custom_target(format COMMAND ${CLANG_FORMAT_EXE} -i ${LEDGORA_FORMAT_SOURCES}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} COMMENT "Formatting the sources" VERBATIM)
    add_custom_target(format-check
        COMMAND ${CLANG_FORMAT_EXE} --dry-run --Werror ${LEDGORA_FORMAT_SOURCES}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} COMMENT "Checking the formatting" VERBATIM)
endif()
