# The installed tree is a working program: the tools find their languages in share/korvanext.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK} OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
foreach(f bin/korvanext bin/korvanext-cli bin/korvanext-gatewaysim share/korvanext/L_Init.ini share/korvanext/Eng.ini
          share/korvanext/ExtLogo.bmp share/applications/korvanext.desktop share/icons/hicolor/scalable/apps/korvanext.svg)
  if(NOT EXISTS ${WORK}/${f})
    message(FATAL_ERROR "${f} is not installed")
  endif()
endforeach()
execute_process(COMMAND ${WORK}/bin/korvanext-cli read x.kvx --port ${WORK}/no-such-port
                RESULT_VARIABLE rc ERROR_VARIABLE err WORKING_DIRECTORY ${WORK})
if(NOT rc EQUAL 15 OR NOT err MATCHES "serial port cannot be opened")
  message(FATAL_ERROR "the installed tool did not find its language files: ${rc} ${err}")
endif()
