# Warnings, sanitizers and the test helper shared by every layer.

add_library(amp_options INTERFACE)
target_compile_options(amp_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
if(AMP_WERROR)
    target_compile_options(amp_options INTERFACE -Werror)
endif()
target_include_directories(amp_options INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)

# One version for every program and the package: "ampbench/version.h".
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${PROJECT_BINARY_DIR}/generated/ampbench/version.h @ONLY)

if(AMP_SANITIZE)
    add_compile_options(-fsanitize=${AMP_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${AMP_SANITIZE})
    # GCC 12 inlines libstdc++ (std::regex, std::function) through the instrumentation and then
    # warns of uninitialised members that are initialised; the plain build keeps the warning.
    add_compile_options(-Wno-maybe-uninitialized)
    if(AMP_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

set(AMP_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/sanitizers)
set(AMP_TEST_ENV
    QT_QPA_PLATFORM=offscreen
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    "LSAN_OPTIONS=suppressions=${AMP_SUPPRESSIONS}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=suppressions=${AMP_SUPPRESSIONS}/tsan.supp:halt_on_error=1:second_deadlock_stack=1")

# amp_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ENV ...])
# One executable, one ctest entry. Label "threads" puts a test into the ThreadSanitizer run.
function(amp_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE amp_options GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${AMP_TEST_ENV};${T_ENV}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
        if("threads" IN_LIST T_LABELS)
            add_dependencies(amp_threads_tests ${T_NAME})
        endif()
    endif()
endfunction()

# Everything the ThreadSanitizer run needs: the tests labelled "threads".
add_custom_target(amp_threads_tests)
