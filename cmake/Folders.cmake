# The folders of src/ and the level each stands on, bottom first: a file may
# include headers of its own folder and of folders on a lower level, never of
# one on its own level or above. scripts/include_graph.cmake checks it.
set(ARDENTIA_FOLDER_LEVELS
  context=0 sqlite=0 lang=0
  store=1 settings=1
  controls=2 interchange=2 duplicates=2
  editor=3 merging=3 options=3 services=3 transfer=3 sync=3
  syncing=4
  mainwindow=5
  app=6)

# The core library: Qt Core and SQLite, no widgets.
set(ARDENTIA_CORE_FOLDERS context sqlite lang store settings interchange duplicates sync)
# The GUI library on top of it.
set(ARDENTIA_GUI_FOLDERS controls editor merging options services transfer syncing mainwindow app)
