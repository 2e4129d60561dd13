# Installation layout and the Debian package (cpack -G DEB).
#
# Installs the two programs, the desktop entry and its icon, the manual pages
# (compressed at build time) and the documentation with the demo data under
# share/doc/pzt-export-banche/. Included once, at the end of the top CMakeLists.txt,
# so every target it names already exists.

include(GNUInstallDirs)

set(DOZ_PACKAGE_NAME "pzt-export-banche")
set(DOZ_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/${DOZ_PACKAGE_NAME}")
set(DOZ_PACKAGING_DIR "${CMAKE_CURRENT_SOURCE_DIR}/packaging")

# ---- programs ------------------------------------------------------------------------
if(TARGET pzt-bankfile)
  install(TARGETS pzt-bankfile RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()
if(TARGET PztExport_Banche)
  install(TARGETS PztExport_Banche RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${DOZ_PACKAGING_DIR}/pzt-export-banche.desktop"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${DOZ_PACKAGING_DIR}/pzt-export-banche.svg"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
endif()

# ---- the message schemas shipped with the program (sepa/Schema.cpp finds them
#      in ../share/pzt-export-banche/xsd from the program's folder) -----------------
install(DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/data/xsd/"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/${DOZ_PACKAGE_NAME}/xsd")

# ---- manual pages: gzip -9n (no name, no time stamp) so the package is reproducible --
find_program(DOZ_GZIP gzip)
set(DOZ_MAN_PAGES "")
if(TARGET pzt-bankfile)
  list(APPEND DOZ_MAN_PAGES pzt-bankfile.1)
endif()
if(TARGET PztExport_Banche)
  list(APPEND DOZ_MAN_PAGES PztExport_Banche.1)
endif()
set(DOZ_MAN_OUTPUTS "")
foreach(page ${DOZ_MAN_PAGES})
  set(src "${DOZ_PACKAGING_DIR}/${page}")
  if(DOZ_GZIP)
    set(out "${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz")
    add_custom_command(
      OUTPUT "${out}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/man"
      COMMAND "${CMAKE_COMMAND}" -E copy "${src}" "${CMAKE_CURRENT_BINARY_DIR}/man/${page}"
      COMMAND "${DOZ_GZIP}" -9nf "${CMAKE_CURRENT_BINARY_DIR}/man/${page}"
      DEPENDS "${src}"
      COMMENT "Compressing manual page ${page}"
      VERBATIM)
  else()
    set(out "${src}")  # no gzip on this machine: the page is installed as it is
  endif()
  list(APPEND DOZ_MAN_OUTPUTS "${out}")
endforeach()
if(DOZ_MAN_OUTPUTS)
  add_custom_target(doz_man_pages ALL DEPENDS ${DOZ_MAN_OUTPUTS})
  install(FILES ${DOZ_MAN_OUTPUTS} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()

# ---- documentation and demo data -----------------------------------------------------
install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/README.md" DESTINATION "${DOZ_DOC_DIR}")
# docs/ keeps its name so the README's relative links (docs/screenshot.png) still work.
file(GLOB DOZ_DOC_FILES CONFIGURE_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/docs/*.md"
  "${CMAKE_CURRENT_SOURCE_DIR}/docs/*.png")
if(DOZ_DOC_FILES)
  install(FILES ${DOZ_DOC_FILES} DESTINATION "${DOZ_DOC_DIR}/docs")
endif()
install(DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/examples/"
        DESTINATION "${DOZ_DOC_DIR}/examples")

# ---- the Debian package ----------------------------------------------------------------
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${DOZ_PACKAGE_NAME}")
set(CPACK_PACKAGE_VERSION "${DOZ_VERSION}")
set(CPACK_PACKAGE_VENDOR "Ulmor")
set(CPACK_PACKAGE_CONTACT "Ulmor payroll team <payroll@ulmor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "crea i file per la banca dalle disposizioni degli stipendi")
set(CPACK_PACKAGE_DESCRIPTION
"Per gli uffici paghe: dalle disposizioni di pagamento degli stipendi
(Disposizioni.cds) scrive il file a tracciato fisso che la banca scelta
accetta, controlla ogni campo secondo il tracciato della banca, registra il
file prodotto campo per campo e scrive la distinta e il brogliaccio.
.
Contiene la finestra PztExport_Banche e il comando pzt-bankfile, che fa lo
stesso senza finestra. I tracciati delle banche sono file di dati; dati
dimostrativi in /usr/share/doc/pzt-export-banche/examples.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${DOZ_PACKAGE_NAME}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME "${DOZ_PACKAGE_NAME}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # pzt-export-banche_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_VERSION "${DOZ_VERSION}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ulmor payroll team <payroll@ulmor.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Run-time libraries found by dpkg-shlibdeps (from dpkg-dev) on the built programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The toolkit's own texts (buttons, dialogs, calendar) in Italian.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# The window opens the reports it writes with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")

include(CPack)
