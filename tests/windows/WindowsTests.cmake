# The tests of the Windows build run under Wine on Linux, labelled "windows". Every test shares
# one Wine prefix in the build folder, made first by the fixture "wine_prefix".
set(LEDGORA_WINE_RUNNER ${CMAKE_CURRENT_LIST_DIR}/run_under_wine.sh)
set(LEDGORA_WINE_ENVIRONMENT "LEDGORA_WINDOWS_TOOLCHAIN=${LEDGORA_WINDOWS_TOOLCHAIN}"
    "LEDGORA_WINE_PREFIX=${PROJECT_BINARY_DIR}/wine-prefix")

add_test(NAME wine_prefix COMMAND ${LEDGORA_WINE_RUNNER} wineboot --init)
set_tests_properties(wine_prefix PROPERTIES LABELS windows FIXTURES_SETUP wine_prefix
    ENVIRONMENT "${LEDGORA_WINE_ENVIRONMENT}" TIMEOUT 300)

# Tests that rest on POSIX calls of their own (file modes, resource limits, the user id) and are
# not built for Windows.
set(LEDGORA_POSIX_ONLY_TESTS
    tst_builder # geteuid: root reads files whatever their mode
    tst_formats # getrusage: the peak memory of a large payload
    tst_downloader # setrlimit: the process's limit of open files
    tst_installation # chmod and stat: file modes kept over an update
    tst_updatecheck) # sys/stat.h: file modes

# Runs the test executable under Wine instead of on the build machine.
function(ledgora_run_under_wine name)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${LEDGORA_WINE_RUNNER})
    set_property(TEST ${name} APPEND PROPERTY LABELS windows)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${LEDGORA_WINE_ENVIRONMENT}
        LEDGORA_QTEST_LOG=1)
    # A program that hangs under Wine fails after five minutes instead of holding CI.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 300)
endfunction()

# End to end on Windows' side: nginx on Linux serves a release that lg_updater.exe built in
# mode 1; e2e_client.exe installs it into the Wine prefix and hands over to a new updater copy.
function(ledgora_add_windows_endtoend)
    add_executable(commandline_reporter ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/commandlinereporter.cpp)
    target_include_directories(commandline_reporter PRIVATE
        ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../support)
    add_test(NAME windows_endtoend COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/endtoend.sh
        $<TARGET_FILE:lg_updater> $<TARGET_FILE:e2e_client> $<TARGET_FILE:commandline_reporter>
        ${CMAKE_CURRENT_BINARY_DIR}/windows-endtoend)
    # Alone: it waits for and ends every Wine process of the shared prefix.
    set_tests_properties(windows_endtoend PROPERTIES LABELS "windows;e2e" RUN_SERIAL ON
        ENVIRONMENT "${LEDGORA_WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
endfunction()

# The zip of scripts/package-windows, unpacked into an installation and started from there.
add_test(NAME windows_package COMMAND ${CMAKE_CURRENT_LIST_DIR}/package_starts.sh
    ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
set_tests_properties(windows_package PROPERTIES LABELS "windows;package" RUN_SERIAL ON
    ENVIRONMENT "${LEDGORA_WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
