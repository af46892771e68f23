# What the Windows zip adds to the install: a DLL that needs no MinGW runtime DLL beside it, and
# the README, LICENSE and man pages as text files with CR LF line ends.
if(BUILD_SHARED_LIBS)
  # libgcc, libstdc++ and winpthread go into the DLL itself.
  target_link_options(vkt2 PRIVATE -static)
endif()

find_program(VKT2_GROFF groff)
set(text_files README.md LICENSE)
if(VKT2_GROFF)
  list(APPEND text_files man/vkt2x.1 man/vkt2c.1 man/vkt2.1)
else()
  message(WARNING "groff not found: the Windows package goes without the man pages")
endif()
set(outputs "")
foreach(file IN LISTS text_files)
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE "\\.md$" "" name ${name})
  set(out ${PROJECT_BINARY_DIR}/windows-text/${name}.txt)
  if(name MATCHES "\\.1$")
    install(FILES ${out} DESTINATION man)
  else()
    install(FILES ${out} DESTINATION .)
  endif()
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${file} -DOUT=${out}
                             -DGROFF=${VKT2_GROFF} -P ${PROJECT_SOURCE_DIR}/cmake/windows-text.cmake
                     DEPENDS ${file} cmake/windows-text.cmake
                     WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} VERBATIM)
  list(APPEND outputs ${out})
endforeach()
add_custom_target(vkt2_windows_text ALL DEPENDS ${outputs})
