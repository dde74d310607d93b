# SPDX-License-Identifier: GPL-2.0-or-later
# Run by CPack after it built the packages. For a library in /usr/lib, CPack
# writes a postinst and postrm that only call ldconfig; Debian packages use
# the ldconfig trigger instead (the library package's "triggers" file), so
# such scripts are taken out and the package is built again with dpkg-deb.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(dir ${deb}.tree)
  file(REMOVE_RECURSE ${dir})
  execute_process(COMMAND ${DPKG_DEB} -R ${deb} ${dir} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot unpack ${deb}")
  endif()
  set(changed FALSE)
  foreach(script postinst postrm)
    set(path ${dir}/DEBIAN/${script})
    if(EXISTS ${path})
      file(STRINGS ${path} lines)
      # Everything but the shebang, "set -e", the test of $1, ldconfig and "fi".
      list(FILTER lines EXCLUDE REGEX "^(#!/bin/sh|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|[\t ]*ldconfig|fi|)$")
      if(lines STREQUAL "")
        file(REMOVE ${path})
        set(changed TRUE)
      endif()
    endif()
  endforeach()
  if(changed)
    execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz -b ${dir} ${deb}
                    OUTPUT_QUIET RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot build ${deb} again")
    endif()
  endif()
  file(REMOVE_RECURSE ${dir})
endforeach()
