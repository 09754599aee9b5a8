# Runs at installation: writes the files that name the installation's own directories. A copy in /usr
# (the package's place) keeps its standards in /var/lib/talmiro and gets /etc/talmiro/TALMIRO.INI, the
# file the programs read when there is none beside them or in the user's configuration. A copy anywhere
# else keeps its standards below its prefix, and gets no system configuration: the programs would not read
# one elsewhere than /etc, and /etc is not the business of a copy in /opt or a home directory. The
# administrator's own guidelines are looked for beside the configuration: /etc/talmiro/guidelines, or
# <prefix>/etc/talmiro/guidelines for a copy elsewhere.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(TALMIRO_STANDARDS_DIR /var/lib/talmiro/standards)
  set(TALMIRO_LOCAL_GUIDELINES_DIR /etc/talmiro/guidelines)
else()
  set(TALMIRO_STANDARDS_DIR ${CMAKE_INSTALL_PREFIX}/var/lib/talmiro/standards)
  set(TALMIRO_LOCAL_GUIDELINES_DIR ${CMAKE_INSTALL_PREFIX}/etc/talmiro/guidelines)
endif()

# A folder per destination, so that installations running at the same time do not share files.
string(MD5 key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(work ${TALMIRO_WORK_DIR}/${key})
configure_file(${TALMIRO_LINUX_DIR}/talmiro-generate-standards.in ${work}/talmiro-generate-standards @ONLY)
file(INSTALL ${work}/talmiro-generate-standards DESTINATION ${CMAKE_INSTALL_PREFIX}/${TALMIRO_DATADIR}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  configure_file(${TALMIRO_LINUX_DIR}/TALMIRO.INI.in ${work}/TALMIRO.INI @ONLY)
  file(INSTALL ${work}/TALMIRO.INI DESTINATION /etc/talmiro)
endif()
