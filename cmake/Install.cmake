# cmake --install: the program, the batch tool and the database maker in bin/; the data scripts and the
# samples in share/taxferry/ (an installed program finds them there and makes its per-user databases
# from them); a desktop entry and the program's icon. cpack -G DEB packs the same.
include(GNUInstallDirs)

install(TARGETS taxferry taxferry-batch taxferry-mkdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/config_schema.sql data/config_factory.sql data/acct_schema.sql data/acct_demo.sql
              data/acct_schema_pg.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/taxferry)
install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/taxferry/samples)
install(FILES packaging/taxferry.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES src/app/icons/taxferry.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME taxferry)
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "航天金税接口：在QOR账套与航天金税之间引入引出发票")
set(CPACK_PACKAGE_DESCRIPTION "引出QOR账套中的销售发票为航天金税的文本文件(SJJK0101)，\
把金税开具的发票(SJJK0201)引入为销售发票；关联设置、基础资料对应，以及无窗口的批处理工具 taxferry-batch。")
# The programs are built with debug information; the package carries them without.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvane Taxferry <taxferry@orvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries the programs link come from dpkg-shlibdeps (package dpkg-dev); what Qt loads at run time
# (the SQLite driver, the X11 platform, the SVG icon engine, its Chinese texts) and a font that has the
# Chinese characters are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, libqt6sql6-odbc")
include(CPack)
