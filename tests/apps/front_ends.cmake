# The two front ends run as processes on fixture pictures.
set(NORVALE_CHECK ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_front_end.sh)
set(NORVALE_APP_DATA ${CMAKE_CURRENT_SOURCE_DIR}/data/apps)
set(NORVALE_SYMBOL_24_HEX "23473b565d5c783b7e26434f2a766d3a6c5c243d795e31330a")

# name, exit status, stdout hex, stderr text, program and arguments
function(norvale_front_end_test name status out_hex err_text)
    add_test(NAME FrontEnd.${name}
        COMMAND ${NORVALE_CHECK} ${status} "${out_hex}" "${err_text}" -- ${ARGN})
endfunction()

norvale_front_end_test(VistrelDecodesBmp 0 ${NORVALE_SYMBOL_24_HEX} "" $<TARGET_FILE:vistrel> ${NORVALE_APP_DATA}/symbol-24.bmp)
norvale_front_end_test(VistrelDecodesPng 0 ${NORVALE_SYMBOL_24_HEX} "" $<TARGET_FILE:vistrel> ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(VistrelBufferDecodesBmp 0 ${NORVALE_SYMBOL_24_HEX} "" $<TARGET_FILE:vistrel> --buffer ${NORVALE_APP_DATA}/symbol-24.bmp)
norvale_front_end_test(VistrelBufferRefusesPng 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> --buffer ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(VistrelNoSymbol 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> ${NORVALE_APP_DATA}/blank.png)
norvale_front_end_test(VistrelMixedCaseEnding 1 "" "讯息: 解码失败" $<TARGET_FILE:vistrel> ${NORVALE_APP_DATA}/symbol-24.Bmp)
norvale_front_end_test(VistrelMissingFile 2 "" "讯息: 无法打开文件/nonexistent/x.bmp" $<TARGET_FILE:vistrel> /nonexistent/x.bmp)
norvale_front_end_test(VistrelNoArgument 2 "" "usage" $<TARGET_FILE:vistrel>)
norvale_front_end_test(VistrelHelp 0 "" "" sh -c "$<TARGET_FILE:vistrel> --help | grep -q usage")
norvale_front_end_test(ScanletDecodesBmp 0 ${NORVALE_SYMBOL_24_HEX} "" $<TARGET_FILE:scanlet> ${NORVALE_APP_DATA}/symbol-24.bmp)
norvale_front_end_test(ScanletRefusesPng 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${CMAKE_CURRENT_SOURCE_DIR}/data/sample.png)
norvale_front_end_test(ScanletNoSymbol 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${NORVALE_APP_DATA}/blank.png)
norvale_front_end_test(ScanletMixedCaseEnding 1 "" "讯息: 解码失败" $<TARGET_FILE:scanlet> ${NORVALE_APP_DATA}/symbol-24.Bmp)
norvale_front_end_test(ScanletMissingFile 2 "" "讯息: 无法打开文件/nonexistent/x.bmp" $<TARGET_FILE:scanlet> /nonexistent/x.bmp)
norvale_front_end_test(ScanletNoArgument 2 "" "usage" $<TARGET_FILE:scanlet>)

add_test(NAME FrontEnd.ScanletLibraryIsBmpOnly
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/apps/check_bmp_only_library.sh $<TARGET_FILE:norvale_datamatrix_bmp>)

# A symbol of 105 bytes: the path entry's 1000-byte buffer shows it whole, the 100-byte buffers of
# the memory button and of the handheld program show the first 99 bytes.
set(NORVALE_SYMBOL_105 ${NORVALE_APP_DATA}/symbol-40-105-bytes.bmp)
norvale_front_end_test(VistrelShowsWholeText 0 "3579695e7c575d557e7a407d5f7a2d3b7949443c4a664132364c67646f6b4f523d234026736e2b3f2440327661392545564b6956414a416748284e642d37325e4d23553531242d74647a3d726549316b6c5876655f555a697b26622574474222402e3457587a33486c0a" "" $<TARGET_FILE:vistrel> ${NORVALE_SYMBOL_105})
norvale_front_end_test(VistrelBufferCutsAt99 0 "3579695e7c575d557e7a407d5f7a2d3b7949443c4a664132364c67646f6b4f523d234026736e2b3f2440327661392545564b6956414a416748284e642d37325e4d23553531242d74647a3d726549316b6c5876655f555a697b26622574474222402e340a" "" $<TARGET_FILE:vistrel> --buffer ${NORVALE_SYMBOL_105})
norvale_front_end_test(ScanletCutsAt99 0 "3579695e7c575d557e7a407d5f7a2d3b7949443c4a664132364c67646f6b4f523d234026736e2b3f2440327661392545564b6956414a416748284e642d37325e4d23553531242d74647a3d726549316b6c5876655f555a697b26622574474222402e340a" "" $<TARGET_FILE:scanlet> ${NORVALE_SYMBOL_105})
