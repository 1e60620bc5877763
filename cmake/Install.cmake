# cmake --install: the program, the batch tool and the database maker in bin/; the data scripts and the
# samples in share/taxferry/ (an installed program finds them there and makes its per-user databases
# from them); packaging/ adds the manual pages, the desktop entry, the metainfo, the icons, the licence and
# the changelog. cpack -G DEB packs the same (scripts/package.sh: from a hardened build of its own).
include(GNUInstallDirs)

# Directories as Debian has them, whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

install(TARGETS taxferry taxferry-batch taxferry-mkdb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/config_schema.sql data/config_factory.sql data/acct_schema.sql data/acct_demo.sql
              data/acct_schema_pg.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/taxferry)
install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/taxferry/samples)
# What Debian's dh_strip removes besides the symbols: the compilers' version notes.
if(CMAKE_OBJCOPY AND NOT WIN32)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program taxferry taxferry-batch taxferry-mkdb)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

set(CPACK_PACKAGE_NAME taxferry)
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Taxferry Maintainers <maintainers@users.noreply.c-seed-f107b139.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The revision of the packaging, as a package that is not in Debian's archive names it (the 0: no Debian
# revision exists; orvane1: the first of the vendor's); packaging/debian/changelog starts with the same.
set(CPACK_DEBIAN_PACKAGE_RELEASE 0orvane1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis in English; the description lines stay within 80 columns (a Chinese character takes two).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sales invoices between QOR accounting and the Golden Tax system")
set(CPACK_PACKAGE_DESCRIPTION [=[
Taxferry exports the sales invoices of a QOR accounting set as the files
that the Golden Tax (航天金税) invoicing software and the e-invoice platform
import, and imports the invoices issued there as sales invoices. The
accounting set is an SQLite file, a PostgreSQL database or an ODBC source;
taxferry-batch does the same without windows, for scripts.

航天金税接口把QOR账套中的销售发票引出为航天金税开票软件的文本文件
(SJJK0101)或XML文件，或电子发票平台的批量导入模板；并把开具的发票
(SJJK0201)引入账套，生成销售发票。关联关系规定发票的每个字段取账套的
哪个字段或公式；客户、商品和税收分类编码在两个系统之间对应。每张发票
只引出一次、只引入一次，失败时什么也不写入。

无窗口的批处理工具 taxferry-batch 供脚本和夜间任务使用。]=])
# The programs are built with debug information; the package carries them without.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The libraries the programs link come from dpkg-shlibdeps (package dpkg-dev); what Qt loads at run time
# (the SQLite driver, the SVG icon engine, its Chinese texts) and a font that has the Chinese characters are
# named here. The X11 platform plugin is part of libqt6gui6, which the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6svg6, qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, libqt6sql6-odbc")
include(CPack)
