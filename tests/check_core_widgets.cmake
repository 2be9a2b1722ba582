# Fails when a file of the core library includes a widgets header.
file(GLOB core_files ${SRC}/store/* ${SRC}/lang/* ${SRC}/app/AppContext.* ${SRC}/settings/RegistryStore.*
     ${SRC}/settings/RegistryRoutines.* ${SRC}/settings/mdlOptions.*
     ${SRC}/settings/VbConvert.*)
set(bad "")
foreach(f IN LISTS core_files)
  file(STRINGS ${f} hits REGEX "#include[ \t]*<(QtWidgets|QWidget|QApplication|QMainWindow|QDialog|QMessageBox|QLabel|QPushButton|QLineEdit|QComboBox|QTreeView|QTableView)")
  if(hits)
    list(APPEND bad "${f}: ${hits}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "widget headers in the core library:\n${bad}")
endif()
message(STATUS "core library is free of widget headers")
