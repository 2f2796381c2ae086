# Builds the Debian package from BUILD_DIR into WORK and checks what a user
# gets: the listed paths, the package fields, and a working kanaroll-calc
# from the unpacked files.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed: ${rc}\n${out}")
endif()
file(GLOB debs ${WORK}/*.deb)
get_filename_component(deb_name "${debs}" NAME)
if(NOT deb_name MATCHES "^kanaroll_${VERSION}_[a-z0-9]+\\.deb$")
  message(FATAL_ERROR "expected one kanaroll_${VERSION}_<arch>.deb, got: ${debs}")
endif()

execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
set(id org.kanaroll.Kanaroll)
foreach(f ${BINDIR}/kanaroll ${BINDIR}/kanaroll-calc libexec/kanaroll/kanaroll-help share/applications/${id}.desktop
          share/metainfo/${id}.metainfo.xml share/kanaroll/zqHelp.chm
          share/man/man6/kanaroll.6.gz share/man/man1/kanaroll-calc.1.gz
          share/doc/kanaroll/copyright share/doc/kanaroll/changelog.gz
          share/icons/hicolor/16x16/apps/${id}.png share/icons/hicolor/48x48/apps/${id}.png
          share/icons/hicolor/scalable/apps/${id}.svg)
  string(FIND "${listing}" " ./usr/${f}\n" at)
  if(at EQUAL -1)
    message(SEND_ERROR "the package lacks /usr/${f}")
  endif()
endforeach()

foreach(field "Depends:libqt6widgets6" "Depends:libchm1" "Section:games"
              "Recommends:fonts-ipafont-gothic, fonts-liberation, qt6-wayland" "Suggests:cups")
  string(REPLACE ":" ";" parts "${field}")
  list(GET parts 0 name)
  list(GET parts 1 want)
  execute_process(COMMAND dpkg-deb -f ${debs} ${name} OUTPUT_VARIABLE value)
  string(FIND "${value}" "${want}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "${name} is '${value}', lacks '${want}'")
  endif()
endforeach()

execute_process(COMMAND dpkg -x ${debs} ${WORK}/root RESULT_VARIABLE rc)
file(WRITE ${WORK}/pair.txt "たろう\tはなこ\n")
execute_process(COMMAND ${WORK}/root/usr/${BINDIR}/kanaroll-calc INPUT_FILE ${WORK}/pair.txt
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "153115 68426 4268 684 42\t42\n")
  message(SEND_ERROR "unpacked kanaroll-calc: status ${rc}, output '${out}'")
endif()
