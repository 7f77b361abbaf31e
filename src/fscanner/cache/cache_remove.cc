// Removal of a directory's files and of whole directory trees, depth-first.
#include "cache/fs_cache.h"

void FS_Cache::removeFiles(Table* files, uint32_t id) {
  if (files == nullptr) return;
  RecordSetRef records;
  files->openRecordSet(&records);
  if (seekNumber(records, filesOfDirectory_.get(), u"PATHID", varPathId_, id)) {
    do {
      records.remove();
    } while (records.moveNext());
  }
  if (!files->closeRecordSet(&records)) {
    FS_TRACE(logger_, "FS_Cache::removeFiles - closeRecordSet failed!\n");
  }
}

void FS_Cache::removeTree(Table* directories, Table* files, uint32_t id) {
  if (directories == nullptr) return;
  RecordSetRef records;
  directories->openRecordSet(&records);
  for (bool more = seekNumber(records, subdirectories_.get(), u"PARENTID", varParentId_, id); more;
       more = records.moveNext()) {
    removeTree(directories, files, static_cast<uint32_t>(records.getInt32(u"ID")));
    // The recursion moved the variable and the evaluator's key to the child's id.
    varParentId_->setValue(static_cast<int32_t>(id));
  }
  removeFiles(files, id);
  if (seekId(records, id)) records.remove();
  if (!directories->closeRecordSet(&records)) {
    FS_TRACE(logger_, "FS_Cache::removeTree - closeRecordSet failed!\n");
  }
}
