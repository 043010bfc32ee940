# The two front ends run as processes on fixture pictures.
set(NORVALE_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_front_end.sh)
set(NORVALE_APP_DATA ${CMAKE_CURRENT_SOURCE_DIR}/data/apps)
set(NORVALE_SYMBOL_24_HEX "23473b565d5c783b7e26434f2a766d3a6c5c243d795e31330a")

# name, exit status, stdout hex, stderr text, program and arguments
function(norvale_front_end_test name status out_hex err_text)
    add_test(NAME FrontEnd.${name}
        COMMAND ${NORVALE_CHECK} ${status} "${out_hex}" "${err_text}" -- ${ARGN})
endfunction()

norvale_front_end_test(VistrelBufferRefusesPng 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> --buffer ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(VistrelNoSymbol 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> ${NORVALE_APP_DATA}/blank.png)
norvale_front_end_test(VistrelMixedCaseEnding 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> ${NORVALE_APP_DATA}/symbol-24.Bmp)
norvale_front_end_test(VistrelMissingFile 2 "" "讯息: 无法打开文件/nonexistent/x.bmp" $<TARGET_FILE:vistrel> /nonexistent/x.bmp)
norvale_front_end_test(VistrelNoArgument 2 "" "usage" $<TARGET_FILE:vistrel>)
norvale_front_end_test(VistrelHelp 0 "" "" sh -c "$<TARGET_FILE:vistrel> --help | grep -q usage")
norvale_front_end_test(ScanletRefusesPng 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(ScanletNoSymbol 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${NORVALE_APP_DATA}/blank.png)
norvale_front_end_test(ScanletMixedCaseEnding 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${NORVALE_APP_DATA}/symbol-24.Bmp)
norvale_front_end_test(ScanletMissingFile 2 "" "讯息: 无法打开文件/nonexistent/x.bmp" $<TARGET_FILE:scanlet> /nonexistent/x.bmp)
norvale_front_end_test(ScanletNoArgument 2 "" "usage" $<TARGET_FILE:scanlet>)

add_test(NAME FrontEnd.ScanletLibraryIsBmpOnly
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_bmp_only_library.sh $<TARGET_FILE:norvale_datamatrix_bmp>)
