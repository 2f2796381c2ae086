# Installs into a scratch prefix and checks that a desktop gets everything it needs.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
set(id org.kanaroll.Kanaroll)
foreach(f bin/kanaroll bin/kanaroll-calc libexec/kanaroll/kanaroll-help share/applications/${id}.desktop share/metainfo/${id}.metainfo.xml
          share/kanaroll/zqHelp.chm share/man/man6/kanaroll.6.gz share/man/man1/kanaroll-calc.1.gz
          share/doc/kanaroll/copyright share/doc/kanaroll/changelog.gz
          share/icons/hicolor/16x16/apps/${id}.png share/icons/hicolor/32x32/apps/${id}.png
          share/icons/hicolor/48x48/apps/${id}.png share/icons/hicolor/scalable/apps/${id}.svg)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${PREFIX}/share/applications/${id}.desktop desktop)
foreach(line "Name=Kanaroll" "Exec=kanaroll --documents" "Icon=${id}" "Categories=Game;Amusement;")
  string(FIND "${desktop}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks ${line}")
  endif()
endforeach()
# PNG size is in the IHDR chunk: width at byte 16, height at byte 20.
foreach(size 16 32 48)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${id}.png hdr LIMIT 24 HEX)
  string(SUBSTRING "${hdr}" 32 8 w)
  math(EXPR wv "0x${w}")
  if(NOT wv EQUAL size)
    message(FATAL_ERROR "icon ${size} is ${wv} pixels wide")
  endif()
endforeach()
