# The installed tree is a working program: the tools find their languages in
# share/korvanext, and test material stays out of it. The install components are
# the Debian packages: korvanext (the window), cli (the command line, the
# language files and, as the component ansible, the Ansible collection) and demo (simulator, demo firmware).
file(REMOVE_RECURSE ${WORK})

function(install_into dir)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${dir} ${ARGN} OUTPUT_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install ${ARGN} failed")
  endif()
endfunction()
function(expect_files dir)
  foreach(f ${ARGN})
    if(NOT EXISTS ${dir}/${f})
      message(FATAL_ERROR "${f} is not installed in ${dir}")
    endif()
  endforeach()
endfunction()
# A firmware image where the upgrade looks would be offered for a real gateway.
function(expect_no_firmware dir)
  file(GLOB_RECURSE images ${dir}/*.Bin ${dir}/*.bin)
  if(images)
    message(FATAL_ERROR "firmware images where the upgrade looks for real ones: ${images}")
  endif()
endfunction()

expect_no_firmware(${BUILD}/bin)

# The command line alone is a working tool: it finds its language files.
set(cli ${WORK}/cli)
install_into(${cli} --component cli)
expect_files(${cli} bin/korvanext-cli share/korvanext/L_Init.ini share/korvanext/Eng.ini
             share/man/man1/korvanext-cli.1 share/bash-completion/completions/korvanext-cli)
if(EXISTS ${cli}/bin/korvanext OR EXISTS ${cli}/bin/korvanext-gatewaysim OR EXISTS ${cli}/share/korvanext/ExtLogo.bmp)
  message(FATAL_ERROR "the command line's component holds parts of the window or the demo")
endif()
execute_process(COMMAND ${cli}/bin/korvanext-cli read x.kvx --port ${WORK}/no-such-port
                RESULT_VARIABLE rc ERROR_VARIABLE err WORKING_DIRECTORY ${WORK})
if(NOT rc EQUAL 15 OR NOT err MATCHES "serial port cannot be opened")
  message(FATAL_ERROR "the command line alone did not find its language files: ${rc} ${err}")
endif()

set(user ${WORK}/korvanext)
install_into(${user} --component korvanext)
expect_files(${user} bin/korvanext
             share/korvanext/ExtLogo.bmp share/applications/korvanext.desktop
             share/icons/hicolor/scalable/apps/korvanext.svg share/metainfo/org.korvanext.korvanext.metainfo.xml
             share/man/man1/korvanext.1 share/mime/packages/korvanext.xml)
expect_no_firmware(${user})
if(EXISTS ${user}/bin/korvanext-gatewaysim OR EXISTS ${user}/share/man/man1/korvanext-gatewaysim.1)
  message(FATAL_ERROR "the simulator is installed with the program")
endif()
if(EXISTS ${user}/bin/korvanext-cli OR EXISTS ${user}/share/korvanext/L_Init.ini)
  message(FATAL_ERROR "the window's component holds the command line's files")
endif()

set(collection ${WORK}/ansible)
install_into(${collection} --component ansible)
set(gateway share/ansible/collections/ansible_collections/korvanext/gateway)
expect_files(${collection} ${gateway}/galaxy.yml ${gateway}/meta/runtime.yml
             ${gateway}/plugins/modules/gateway_config.py ${gateway}/plugins/module_utils/korvanext.py)
if(EXISTS ${collection}/${gateway}/tests OR EXISTS ${collection}/bin)
  message(FATAL_ERROR "the ansible component holds the collection's tests or the program")
endif()

set(demo ${WORK}/demo)
install_into(${demo} --component demo)
expect_files(${demo} bin/korvanext-gatewaysim share/korvanext-demo/Korvanext-3.20-demo.Bin
             share/man/man1/korvanext-gatewaysim.1)
if(EXISTS ${demo}/share/korvanext OR EXISTS ${demo}/bin/korvanext)
  message(FATAL_ERROR "the demo component holds parts of the program")
endif()

set(all ${WORK}/all)
install_into(${all})
expect_no_firmware(${all}/share/korvanext)
execute_process(COMMAND ${all}/bin/korvanext-cli read x.kvx --port ${WORK}/no-such-port
                RESULT_VARIABLE rc ERROR_VARIABLE err WORKING_DIRECTORY ${WORK})
if(NOT rc EQUAL 15 OR NOT err MATCHES "serial port cannot be opened")
  message(FATAL_ERROR "the installed tool did not find its language files: ${rc} ${err}")
endif()
# The installed window's demo starts the installed simulator beside it.
file(MAKE_DIRECTORY ${WORK}/home)
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${WORK}/home XDG_CONFIG_HOME=${WORK}/home/.config
                        XDG_DATA_HOME=${WORK}/home/.local/share XDG_STATE_HOME=${WORK}/home/.local/state QT_QPA_PLATFORM=offscreen
                        ${all}/bin/korvanext --demo --quit-after 300
                RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed demo did not run: ${rc} ${err}")
endif()

# A .kvx file opens in the program from a file manager: the type, its pattern,
# and a desktop entry that takes the file.
file(READ ${user}/share/mime/packages/korvanext.xml mime)
file(READ ${user}/share/applications/korvanext.desktop entry)
if(NOT mime MATCHES "type=\"application/x-korvanext-configuration\"" OR NOT mime MATCHES "pattern=\"\\*\\.kvx\"")
  message(FATAL_ERROR "the MIME type of .kvx files is not installed")
endif()
if(NOT entry MATCHES "\nExec=korvanext %f\n" OR NOT entry MATCHES "\nMimeType=application/x-korvanext-configuration;")
  message(FATAL_ERROR "the desktop entry does not open .kvx files")
endif()
