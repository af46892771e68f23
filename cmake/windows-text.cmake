# cmake -DIN=FILE -DOUT=FILE [-DGROFF=groff] -P windows-text.cmake: writes IN as a Windows text
# file (CR LF line ends); a man page (*.1) is formatted to plain UTF-8 text first.
if(IN MATCHES "\\.1$")
  # -k: the pages hold UTF-8; -P-cbou: plain characters, no overstriking for bold or underline.
  execute_process(COMMAND ${GROFF} -k -man -Tutf8 -P-cbou ${IN} OUTPUT_VARIABLE text
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff failed on ${IN}: ${errors}")
  endif()
else()
  file(READ ${IN} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
