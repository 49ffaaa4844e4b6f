# Compiler settings shared by every target of our own: warnings are errors here, never in the
# headers of the libraries we use (those come in as system includes).
# g++ 12 reports std::optional members as "maybe used uninitialized" when optimising (its bug
# 80635), a false positive that -Werror would turn into a failed build; that one check is off
# (clang has no such check, and would warn about the unknown option).
function(sayloom_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
        $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# sayloom_library(NAME SOURCES ... DEPENDS ...): one static library per layer, with `src/` as its
# include root so that headers are included as "support/Logger.h".
function(sayloom_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
    sayloom_target_defaults(${name})
endfunction()

# sayloom_test(NAME SOURCES ... DEPENDS ... [LABELS ...]): one GoogleTest binary registered with
# CTest case by case. Unit tests (no LABELS) are also part of the target sayloom_unit_tests.
function(sayloom_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LABELS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE sayloom_testsupport ${ARG_DEPENDS})
    sayloom_target_defaults(${name})
    if(NOT ARG_LABELS)
        set(ARG_LABELS unit)
    endif()
    if("unit" IN_LIST ARG_LABELS)
        add_dependencies(sayloom_unit_tests ${name})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${ARG_PROPERTIES})
endfunction()
