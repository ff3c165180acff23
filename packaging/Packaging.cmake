# Installing velmora like any Linux program: the three programs, the show's data generated at
# build time, man pages, a menu entry and an icon; and a Debian package of them (`make package`).

include(GNUInstallDirs)

set(VELMORA_MAINTAINER "velmora maintainers <maintainers@users.noreply.c-seed-c1ce9b14.example>")

# Writing the data takes seconds with a release build and much longer under a sanitizer, so
# the builds made for checking leave it out.
if(VELMORA_SANITIZE OR VELMORA_FUZZ OR NOT TARGET velmora-data)
  set(installFilesDefault OFF)
else()
  set(installFilesDefault ON)
endif()
option(VELMORA_INSTALL_FILES "Generate the show's data and icon for installing" ${installFilesDefault})

install(TARGETS velmora velmora-image RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET velmora-data)
  install(TARGETS velmora-data RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Man pages and the changelog, compressed as Debian keeps them (-n: no name or time inside, so
# the same sources give the same bytes).
set(packagingDir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${packagingDir}/changelog @ONLY)
set(compressedSources "")
set(compressed "")
foreach(page velmora velmora-data velmora-image)
  list(APPEND compressedSources ${CMAKE_SOURCE_DIR}/docs/man/${page}.1)
endforeach()
list(APPEND compressedSources ${packagingDir}/changelog)
foreach(source ${compressedSources})
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${packagingDir}/${name}.gz
                     COMMAND sh -c "gzip -9nc '${source}' > '${packagingDir}/${name}.gz'"
                     DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${packagingDir}/${name}.gz)
endforeach()
add_custom_target(velmora-docs ALL DEPENDS ${compressed})
install(FILES ${packagingDir}/velmora.1.gz ${packagingDir}/velmora-data.1.gz ${packagingDir}/velmora-image.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${packagingDir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The menu entry starts the show in the installed data's folder (Path=), so a user's own Data/
# folder in the home directory is never mistaken for the show's. The prefix is known only when
# installing (make install and the package use different ones), so the line is written then.
# file(INSTALL) lists it in the install manifest, so that `make uninstall` removes it too.
install(CODE "
  file(READ \"${CMAKE_SOURCE_DIR}/packaging/velmora.desktop\" entry)
  string(REPLACE \"Exec=\" \"Path=\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/velmora\nExec=\" entry \"\${entry}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/packaging/desktop/velmora.desktop\" \"\${entry}\")
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\" TYPE FILE
       FILES \"${CMAKE_BINARY_DIR}/packaging/desktop/velmora.desktop\")
")

if(VELMORA_INSTALL_FILES)
  # The data is written once per build folder, and again only when the generator's own sources
  # change (the programs are only ordered before it, so rebuilding the image library does not
  # repaint 67 pictures).
  set(shareDir ${CMAKE_BINARY_DIR}/share/velmora)
  file(GLOB generatorSources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/datagen/*)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/data.stamp
                     COMMAND ${CMAKE_COMMAND} -E rm -rf ${shareDir}/Data
                     COMMAND $<TARGET_FILE:velmora-data> --out ${shareDir}/Data --quiet
                     COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/data.stamp
                     DEPENDS ${generatorSources}
                     COMMENT "Writing the show's data into share/velmora/Data" VERBATIM)
  add_custom_target(velmora-install-data ALL DEPENDS ${CMAKE_BINARY_DIR}/data.stamp)
  add_dependencies(velmora-install-data velmora-data)

  # The icon: the opening sea at 12 seconds, its centred square at 256 x 256.
  set(iconTime 12)
  math(EXPR iconFrame "${iconTime} * 60")
  string(LENGTH "${iconFrame}" digits)
  math(EXPR zeros "6 - ${digits}")
  string(REPEAT 0 ${zeros} padding)
  set(iconFrameDir ${CMAKE_BINARY_DIR}/icon-frame)
  add_custom_command(OUTPUT ${packagingDir}/velmora.png
                     COMMAND ${CMAKE_COMMAND} -E rm -rf ${iconFrameDir}
                     COMMAND $<TARGET_FILE:velmora> --data ${shareDir} --png-dir ${iconFrameDir}
                             --snapshot ${iconTime} --fps 60
                     COMMAND $<TARGET_FILE:velmora-icon> ${iconFrameDir}/frame${padding}${iconFrame}.png
                             ${packagingDir}/velmora.png 256
                     COMMAND ${CMAKE_COMMAND} -E rm -rf ${iconFrameDir}
                     DEPENDS ${CMAKE_BINARY_DIR}/data.stamp
                     COMMENT "Making the icon from a frame of the show" VERBATIM)
  add_custom_target(velmora-icon-png ALL DEPENDS ${packagingDir}/velmora.png)
  add_dependencies(velmora-icon-png velmora velmora-icon velmora-install-data)

  install(DIRECTORY ${shareDir}/Data DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)
  # The show creates an empty demo.debug beside Data/ (and ignores a failure). Installed with
  # it, the file already exists, so a run never adds a file to the installation that the
  # package manager or `make uninstall` would not know of.
  file(TOUCH ${packagingDir}/demo.debug)
  install(FILES ${packagingDir}/demo.debug DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)
  install(FILES ${packagingDir}/velmora.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()

# The Debian package: velmora_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the velmora developers")
set(CPACK_PACKAGE_CONTACT ${VELMORA_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: from the libraries the programs link, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time software-rendered audiovisual show")
# The long description, wrapped as Debian wants it (lines under 80 characters).
set(CPACK_PACKAGE_DESCRIPTION
    "velmora opens a 512 x 384 window, plays a tracker module and, every frame,
draws a stack of effect layers: photographs cross-fading through masks,
television static, texture mappers, a ray-cast flight over a landscape, a warp,
a fractal cloud of glowing points, particle systems, a glass lens and a voxel
landscape. Cues in the music insert, remove and steer the layers. Every pixel
is computed by the processor in integer and fixed-point arithmetic.

The package also holds velmora-data, which writes the show's pictures and music
from code, and velmora-image, which inspects and converts pictures through the
show's image library. With ffmpeg installed, the show can record itself to a
video file.")
include(CPack)
