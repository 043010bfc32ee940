# vistrel's flags for scripts: several files, --json, -j N and --annotate, run as processes.
# Uses NORVALE_CHECK, NORVALE_APP_DATA and NORVALE_SYMBOL_24_HEX from front_ends.cmake.
set(NORVALE_SYMBOL_24 ${NORVALE_APP_DATA}/symbol-24.bmp)
set(NORVALE_BLANK ${NORVALE_APP_DATA}/blank.png)
string(HEX "${NORVALE_SYMBOL_24}: " NORVALE_SYMBOL_24_PREFIX_HEX)

# Several files: "FILE: " before every line, the worst outcome decides the exit status.
norvale_front_end_test(VistrelSeveralFilesPrefixed 1
    "${NORVALE_SYMBOL_24_PREFIX_HEX}${NORVALE_SYMBOL_24_HEX}${NORVALE_SYMBOL_24_PREFIX_HEX}${NORVALE_SYMBOL_24_HEX}"
    "${NORVALE_BLANK}: 讯息: 解码失败"
    $<TARGET_FILE:vistrel> ${NORVALE_SYMBOL_24} ${NORVALE_BLANK} ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelSeveralFilesAllDecoded 0
    "${NORVALE_SYMBOL_24_PREFIX_HEX}${NORVALE_SYMBOL_24_HEX}${NORVALE_SYMBOL_24_PREFIX_HEX}${NORVALE_SYMBOL_24_HEX}" ""
    $<TARGET_FILE:vistrel> -j 2 ${NORVALE_SYMBOL_24} ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelSeveralFilesOpenFailure 2 "" "/nonexistent/x.bmp: 讯息: 无法打开文件/nonexistent/x.bmp"
    $<TARGET_FILE:vistrel> ${NORVALE_BLANK} /nonexistent/x.bmp)
norvale_front_end_test(VistrelBufferSeveralFiles 1 "${NORVALE_SYMBOL_24_PREFIX_HEX}${NORVALE_SYMBOL_24_HEX}"
    "${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png: 讯息: 解码失败"
    $<TARGET_FILE:vistrel> --buffer ${NORVALE_SYMBOL_24} ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(VistrelEndOfOptions 0 ${NORVALE_SYMBOL_24_HEX} "" $<TARGET_FILE:vistrel> -- ${NORVALE_SYMBOL_24})

# Wrong usage: exit status 2 and the usage text, nothing decoded.
norvale_front_end_test(VistrelAnnotateNeedsOneFile 2 "" "usage"
    $<TARGET_FILE:vistrel> --annotate ${CMAKE_CURRENT_BINARY_DIR}/unused.png ${NORVALE_SYMBOL_24} ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelBufferRefusesJson 2 "" "usage" $<TARGET_FILE:vistrel> --buffer --json ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelJobsZero 2 "" "usage" $<TARGET_FILE:vistrel> -j 0 ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelJobsNotANumber 2 "" "usage" $<TARGET_FILE:vistrel> -j x ${NORVALE_SYMBOL_24})
norvale_front_end_test(VistrelUnknownOption 2 "" "usage" $<TARGET_FILE:vistrel> --jsn ${NORVALE_SYMBOL_24})

# --annotate keeps the printed text and writes a PNG; an unwritable destination is exit status 2.
set(NORVALE_ANNOTATED ${CMAKE_CURRENT_BINARY_DIR}/vistrel-annotated.png)
norvale_front_end_test(VistrelAnnotateWritesPng 0 ${NORVALE_SYMBOL_24_HEX} ""
    sh -c "rm -f '${NORVALE_ANNOTATED}' && '$<TARGET_FILE:vistrel>' --annotate '${NORVALE_ANNOTATED}' '${NORVALE_SYMBOL_24}' && head -c 4 '${NORVALE_ANNOTATED}' | grep -q PNG")
norvale_front_end_test(VistrelAnnotateUnwritable 2 ${NORVALE_SYMBOL_24_HEX} "no annotated picture"
    $<TARGET_FILE:vistrel> --annotate /nonexistent/dir/out.png ${NORVALE_SYMBOL_24})

find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
    set(NORVALE_JSON_FILES
        ${NORVALE_SYMBOL_24} ${NORVALE_BLANK} /nonexistent/x.bmp
        ${CMAKE_CURRENT_SOURCE_DIR}/data/blackbox/formats/jpeg-q90.jpg
        ${CMAKE_CURRENT_SOURCE_DIR}/data/blackbox/formats/png-rgba16.png
        ${NORVALE_APP_DATA}/symbol-40-105-bytes.bmp)
    add_test(NAME FrontEnd.VistrelJsonParses
        COMMAND sh -c "'$<TARGET_FILE:vistrel>' --json \"$@\" >/dev/null; test $? = 2 || exit 1; '$<TARGET_FILE:vistrel>' --json \"$@\" | '${Python3_EXECUTABLE}' '${CMAKE_CURRENT_SOURCE_DIR}/apps/check_json_lines.py' \"$@\""
            sh ${NORVALE_JSON_FILES})
endif()

# With Python the same run also checks the JSON lines; without, only -j 1 against -j 4.
add_test(NAME FrontEnd.VistrelParallelMatchesSerial
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_parallel_output.sh $<TARGET_FILE:vistrel>
        ${CMAKE_CURRENT_SOURCE_DIR}/data/blackbox ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_json_lines.py
        "${Python3_EXECUTABLE}")
set_tests_properties(FrontEnd.VistrelParallelMatchesSerial PROPERTIES TIMEOUT 300)
