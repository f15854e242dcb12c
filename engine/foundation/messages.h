// The engine's message texts, each once, with the codes raised with it.
//
// Every EQDXException and dataset error takes its text from here, so that each message is
// exact and easy to find. A text with conversions is a format for the safe formatter of
// format.h; "%d" takes any integer, "%s" any text.
#pragma once

#include <cstdint>

namespace qdx::msg {

// A catalogue entry: one native code bound to its text. Codes that share one text each get an
// entry of their own naming that text, so that a throw site reads `Raise(msg::kName, {...})`.
struct Message {
  int32_t Code;
  const char* Text;
};

// 10079, 10080, 10083, 10091, 10094, 10099, 10102, 10103
inline constexpr const char* kCannotSetStreamPosition =
    "Cannot set stream position to %d. Position = %d, Size = %d";
// 10081, 10082
inline constexpr const char* kStreamSizeTooSmall =
    "Stream size = %d too small. Should be at least = %d";
// 10085
inline constexpr const char* kCompressBufferFailed =
    "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d";
// 10086, 10146, 10148, 10183, 10184, 10185, 10186, 10159, 10166, 10167, 10169, 10187, 10188, 10189,
// 10192, 10193, 10194, 10220, 10230, 10231, 10232, 10233, 10234, 10235, 10236, 10237, 10238, 10249,
// 10250, 10251, 10252, 10253, 10254, 10255, 10256, 10257, 10349, 10350, 10351, 10352, 10353, 10358,
// 10359, 10360, 10361, 10401, 10402, 10426, 20168, 30303, 30304, 30305, 30306, 30307, 30308, 30309,
// 30310, 30311, 30312, 30317, 30321, 30322, 30407, 30408, 30409, 30410, 30411
inline constexpr const char* kCannotReadFromStream =
    "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d";
// 10087
inline constexpr const char* kDecompressBufferFailed =
    "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d";
// 10088
inline constexpr const char* kDecompressBufferSizeMismatch =
    "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d";
// 10089
inline constexpr const char* kDecompressBufferChecksum =
    "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d";
// 10090
inline constexpr const char* kCannotReadFromStreamReadSize =
    "Cannot read from stream. ReadSize = %d";
// 10092, 10093
inline constexpr const char* kInvalidStreamSize = "Invalid stream size = %d. Should be = %d";
// 10095, 10096
inline constexpr const char* kErrorWritingToStream = "Error writing to stream";
// 10097, 10100, 10101, 10147, 10149, 10179, 10180, 10181, 10182, 10158, 10164, 10165, 10168, 10170,
// 10171, 10172, 10175, 10176, 10177, 10219, 10221, 10222, 10223, 10224, 10225, 10226, 10227, 10228,
// 10229, 10240, 10241, 10242, 10243, 10244, 10245, 10246, 10247, 10248, 10343, 10344, 10345, 10346,
// 10347, 10348, 10354, 10355, 10356, 10357, 10398, 10400, 10427, 20169, 30313, 30314, 30315, 30316,
// 30317, 30318, 30319, 30320, 30321, 30322, 30323, 30324, 30412, 30413, 30414, 30415, 30416
inline constexpr const char* kCannotWriteToStream =
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d";
// 10098
inline constexpr const char* kInvalidExtensionSize =
    "Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d";
// 10104
inline constexpr const char* kCannotCreateStreamFile = "Cannot create file. FileName = %s";
// 10105
inline constexpr const char* kCannotOpenStreamFile = "Cannot open file. FileName = %s, Mode = %d";
// 10418, 10419, 20149
inline constexpr const char* kStreamBlockSizeZero = "Stream block size = 0 is not allowed";
// 10433, 10434
inline constexpr const char* kNotAVariantArray = "Not a variant array";
// 10435, 10436, 10438
inline constexpr const char* kInvalidVariantArrayBounds =
    "Invalid variant array bounds. DimCount = %d, IndexCount = %d";
// 10437
inline constexpr const char* kSystemError = "System error. Error code = %d";
// 10439
inline constexpr const char* kInvalidCurrencyValue = "'%s' is not a valid currency value";
// 20056
inline constexpr const char* kBufferSizeExceeded = "Buffer size exceeded";
// 30001, 30002, 30005
inline constexpr const char* kInvalidPointer = "Invalid pointer";
// 30004
inline constexpr const char* kMemoryLimitExceeded = "Memory limit exceeded (Limit = %d bytes)";
// 30014
inline constexpr const char* kReallocMemError = "ReallocMem error: %s";
// 30015
inline constexpr const char* kGetMemError = "GetMem error: %s";
// 30016, 30140
inline constexpr const char* kValueIsNull = "Value is Null";
// 30044
inline constexpr const char* kCannotCompareIncompatibleTypes =
    "Cannot compare Incompatible DataTypes: '%s' and '%s'";
// 30045
inline constexpr const char* kUnknownReturnCode = "Unknown return code: %d";
// 30047, 30050, 30289
inline constexpr const char* kUnknownDataType = "Unknown DataType: '%s'";
// 30051, 30052
inline constexpr const char* kCannotCastFromTo = "Cannot cast from '%s' to '%s'";
// 30054
inline constexpr const char* kCannotCopyDataIntoNewMemory = "Cannot copy data into new memory";
// 30113, 30114
inline constexpr const char* kUnsupportedVariantType = "Unsupported Variant Type %s";
// 30123
inline constexpr const char* kCannotInvertNonNumeric =
    "Cannot invert value with not numeric type '%s'";
// 30124, 30126, 30127
inline constexpr const char* kNotNumericArgument = "Not numeric argument in numeric operator '%s'";
// 30128
inline constexpr const char* kDivisionError = "Division error: %s";
// 30137
inline constexpr const char* kMemoryOverrunDetected = "Memory overrun detected";
// 30138
inline constexpr const char* kFreeAndNillMemError = "FreeAndNillMem error: %s";
// 30286
inline constexpr const char* kCannotAllocateZeroBytes = "Cannot allocate 0 bytes";
// 30340
inline constexpr const char* kUnknownGetMemMethodType = "Unknown GetMem method type: %d";
// 10007, 10111
inline constexpr const char* kDatasetNotInEditOrInsertMode = "Dataset not in edit or insert mode";
// 10026
inline constexpr const char* kCannotRetrieveRecord = "Cannot retrieve record";
// 10029, 10068, 10075
inline constexpr const char* kDatasetIsNotOpened = "Dataset is not opened";
// 10030, 10076
inline constexpr const char* kDatasetNotInInsertOrEditMode =
    "Dataset is not in insert or edit mode";
// 10032, 10069, 10077, 10106, 10107
inline constexpr const char* kDatasetIsInReadOnlyMode = "Dataset is in read only mode";
// 10034, 10035, 10036, 10037, 10038, 10039, 10040, 10041, 10042, 10043, 10044, 10045, 10046, 10047,
// 10048, 10050, 10051, 10052, 10053, 10054, 10055, 10056, 10057, 10058, 10059, 10060, 10061, 10063,
// 10065, 10066, 10067, 10070, 10071, 10078, 10108, 10259, 10266, 10267, 10268, 10269, 10270, 10275,
// 10280, 10281, 10287, 10288, 10296, 10299, 10300, 10311, 10315, 10316, 10319, 10320, 10326, 10500,
// 10503, 10504, 10514, 10001, 10003, 10015, 10016, 10113, 10114, 10119, 10120, 10121, 10122, 10123,
// 10260, 10261, 10272, 10380, 10384, 10385, 10389, 10390, 10391, 10399, 10414, 10425, 10483, 10489,
// 10490, 10491, 10492, 10493, 10494, 20135, 20136, 20137, 20138, 20139
inline constexpr const char* kNilPointerOccured = "Nil pointer occured";
// 10271
inline constexpr const char* kCannotLocateOnClosedDataset =
    "Cannot perform LOCATE on a closed dataset";
// 10325
inline constexpr const char* kCannotFindIndex = "Cannot find index %s";
// 10515, 30448
inline constexpr const char* kQualifiedTableAlreadyExists = "Table '%s.%s' already exists";
// 20001
inline constexpr const char* kErrorCreatingTableHandle = "Error creating table handle";
// 20002
inline constexpr const char* kInvalidSessionName = "Invalid session name '%s'";
// 20007
inline constexpr const char* kDatabaseEngineIsNotInitialized = "Database Engine is not initialized";
// 20019
inline constexpr const char* kFieldIsNotInTheCurrentIndex = "Field %s is not in the current index";
// 20034, 30142
inline constexpr const char* kNoSQLStatementAvailable = "No SQL statement available";
// 20046, 20048
inline constexpr const char* kInvalidIndexName = "Invalid index name '%s'";
// 20047, 20049, 20050, 20043
inline constexpr const char* kCannotFindIndexField = "Cannot find index field '%s'";
// 20175, 20177, 20179, 20180, 20181, 20182, 20183
inline constexpr const char* kOperationInTransaction =
    "Cannot perform '%s' operation on a database in transaction";
// 20199
inline constexpr const char* kProblemCopyingTable =
    "Problem occured while copying table '%s': '%s'";
// 20228, 20208
inline constexpr const char* kExclusiveTableOpenByUser =
    "Cannot access table '%s' in exclusive mode. Table is open by another user";
// 20257
inline constexpr const char* kInvalidBlobCompressionMode =
    "Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create table "
    "'%s'";
// 20297
inline constexpr const char* kCopyTableFieldObjectMissing =
    "Cannot copy table \"%s\". Field object for field \"%s\" is not created.";
// 20303
inline constexpr const char* kNotEnoughDiskSpace =
    "There is not enough free space on drive to perform required operation with the database file.";
// 30031, 30032, 30024, 30028, 30329, 30402, 30403
inline constexpr const char* kFieldNumberNotFound = "Field #%d not found";
// 30039, 30035, 30036, 30037, 30038, 30058, 30040
inline constexpr const char* kNotImplementedYet = "Not implemented yet";
// 30141
inline constexpr const char* kOperationOnOpenDataset =
    "Cannot perform this operation on an open dataset";
// 30349, 30027, 30331, 30332, 30343, 30345
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
// 30447
inline constexpr const char* kCannotCopyTableIntoItself = "Cannot copy table '%s.%s' into it self";
// 30449
inline constexpr const char* kCreateDatabaseError = "Create database error: '%s'";
// 30450
inline constexpr const char* kCreateTableError = "Create table '%s.%s' error: '%s'";
// 30453
inline constexpr const char* kCannotCreateTableWithField =
    "Cannot create table '%s' with field: %s %s(%d)";
// 30499
inline constexpr const char* kMissingFieldName = "Missing field name. FieldNo=%d, table '%s'";
// 10000, 10004, 10005, 10006, 10110, 10118, 10317, 10501, 10502, 20191, 20192, 20193
inline constexpr const char* kInvalidFieldNumber =
    "Invalid field number - FieldNo = %d, FieldCount = %d";
// 10002
inline constexpr const char* kErrorGettingFieldData =
    "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d";
// 10027, 10028, 10073, 10151
inline constexpr const char* kTableNameNotFound = "Table not found, table name = %s";
// 10115, 10116
inline constexpr const char* kCannotWriteToReadOnlyStream = "Cannot write to read only stream";
// 10115
inline constexpr const char* kBlobFieldAlreadyOpened =
    "BLOB field already opened. FieldNo = %d, FieldName = %s";
// 10131, 20128, 20142
inline constexpr const char* kNoFieldsSpecified = "Error creating table - no fields were specified";
// 10150
inline constexpr const char* kCannotRenameOpenTable =
    "Cannot rename table '%s'. Table is open by another dataset";
// 10276, 10277, 10278, 10279, 10321
inline constexpr const char* kDifferentListLengths =
    "Error - different list lengths. L1 = %d, L2 = %d";
// 10322
inline constexpr const char* kNoProjectionFields =
    "No fields were specified while setting projection";
// 10323
inline constexpr const char* kCannotFindField = "Cannot find field %s";
// 10324
inline constexpr const char* kCannotFindIndexByID = "Cannot find index by ID = %d";
// 10382
inline constexpr const char* kInvalidConditionNumberCount =
    "Invalid condition number = %d, count = %d";
// 10386, 10387, 10414, 10415, 10432
inline constexpr const char* kCannotFindRecordPosition =
    "Cannot find record position in index %d, RecordID = %d %d";
// 10388
inline constexpr const char* kInvalidScanCondition =
    "Invalid scan condition - indexID = %d, count = %d";
// 10394, 10395, 10428, 10429
inline constexpr const char* kInvalidBitNo = "Invalid bit no = %d, number of bits = %d";
// 10413
inline constexpr const char* kInvalidItemNumber =
    "Invalid item number - ItemNo = %d, ItemCount = %d";
// 10421
inline constexpr const char* kBlobBlockSizeZero = "BLOB block size should be > 0 for field %s";
// 10424
inline constexpr const char* kDuplicateFieldName = "Duplicate field name %s";
// 20017
inline constexpr const char* kCannotDeleteOpenTable =
    "Cannot delete table '%s'. Table is open by another dataset";
// 20018
inline constexpr const char* kIndexNotFound = "Index not found";
// 20020, 20024
inline constexpr const char* kInternalIndexError = "Internal index error";
// 20021
inline constexpr const char* kCannotDeleteMissingIndex =
    "Cannot delete index '%s'. Index not found";
// 20022
inline constexpr const char* kIndexAlreadyExists = "Cannot create index '%s'. Index already exists";
// 20025, 20112
inline constexpr const char* kIndexErrorPageIsEmpty = "Index error: page is empty";
// 20027, 20250
inline constexpr const char* kIndexEntryNotFound =
    "Index error: cannot delete entry. Entry not found";
// 20028, 20029, 20030, 20031, 20194
inline constexpr const char* kIndexIntegrityError = "Index integrity error. PageNo=%d EntryNo=%d";
// 20032
inline constexpr const char* kIndexCircularLinks =
    "Index integrity error. Circular links. PageNo=%d EntryNo=%d";
// 20033, 20034
inline constexpr const char* kIndexInvalidLeafLink =
    "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d";
// 20044, 20045, 20058, 20076, 20077, 20151, 20221, 20222, 20273, 20129, 20130, 20131, 20161, 20176
inline constexpr const char* kPointerIsNil = "Pointer is nil";
// 20051, 20052
inline constexpr const char* kInvalidIndexKeyPath = "Invalid index key path";
// 20053
inline constexpr const char* kInvalidGetRecordMode =
    "Invalid 'get record' mode for index: grmCurrent";
// 20068, 20069, 20099, 20101, 20103, 20107, 20108
inline constexpr const char* kIndexErrorInvalidPosition = "Index error: invalid position";
// 20070, 20071, 20100, 20102, 20115, 20116, 20117, 20118
inline constexpr const char* kIndexErrorInvalidPageNumber = "Index error: invalid page number";
// 20074
inline constexpr const char* kCannotRetrieveRecordFromEmptyIndex =
    "Cannot retrieve record from empty index";
// 20075, 20113
inline constexpr const char* kRecNoBeyondRecordCount = "Cannot set RecNo greater than RecordCount";
// 20078
inline constexpr const char* kIndexErrorInvalidParams = "Index error: invalid params";
// 20092
inline constexpr const char* kDatabaseAlreadyOpen =
    "Cannot create database. Database is already open";
// 20104, 20105, 20110, 20111, 20114, 20119, 20120, 20121, 20122, 20123, 20124, 20125, 20126, 20127,
// 20293, 20064, 20301
inline constexpr const char* kInvalidPageNumber = "Invalid page number";
// 20106
inline constexpr const char* kDataItemPageFull = "Cannot add data item to page. Page is full";
// 20132, 20133, 20134
inline constexpr const char* kTableNotFound = "Table '%s' not found";
// 20160
inline constexpr const char* kAutoincMaxValueExceeded = "Autoinc max value exceeded for field '%s'";
// 20170
inline constexpr const char* kCannotRetrieveRecordForIndex = "Cannot retrieve record for index";
// 20229
inline constexpr const char* kNotInTransaction =
    "Database is not within a transaction. Cannot perform operation";
// 20258
inline constexpr const char* kNoActiveIndexForKeySearch =
    "No active index is set for Key search. Set Table.IndexName to the index on search fields.";
// 20292
inline constexpr const char* kInvalidRecordPageIndex =
    "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=%d, "
    "MostUpdated.RecordCount=%d";
// 20295
inline constexpr const char* kCannotIndexBlobField =
    "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please use "
    "CAST(blob_field, string) function to convert BLOB field to a string expression before "
    "indexing.";
// 20298
inline constexpr const char* kDatabasePasswordIsInvalid = "Database password is invalid.";
// 30007
inline constexpr const char* kUnsupportedDataType = "Unsupported data type '%s'";
// 30012
inline constexpr const char* kNoSequenceLastValue =
    "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first";
// 30026, 30330
inline constexpr const char* kConstraintNotNull =
    "Constraint '%s' violated. Value in field '%s' cannot be null";
// 30029
inline constexpr const char* kConstraintMinValue =
    "Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'";
// 30030
inline constexpr const char* kConstraintMaxValue =
    "Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'";
// 30316
inline constexpr const char* kUnknownConstraintType = "Unknown Constraint Type: '%d'";
// 30319
inline constexpr const char* kPrimaryKeyViolated =
    "Primary Key constraint '%s' violated. Duplicate found.";
// 30320
inline constexpr const char* kUniqueViolated = "Constraint unique '%s' violated. Duplicate found.";
// 30325, 30326
inline constexpr const char* kNamedIndexNotFound = "Index '%s' not found";
// 30339
inline constexpr const char* kMethodNotOverridden = "The method '%s' not overrided in class '%s'";
// 30344, 30346
inline constexpr const char* kCannotRenameFieldExists =
    "Cannot rename field '%s'. Field '%s' already exists";
// 30451
inline constexpr const char* kTableAlreadyExists = "Table %s already exists";
// 30452
inline constexpr const char* kCannotRenameTableIntoItself = "Cannot rename table '%s' into itself";
// 10459, 10460, 30399, 30436, 30437, 30441, 30443
inline constexpr const char* kDatabaseFileNotOpened = "Error - database file is not opened.";
// 10461, 10462
inline constexpr const char* kDatabaseFileInUse = "Error - database file %s is in use.";
// 10462, 10469, 10475, 20198, 30404, 30406, 30438, 30444
inline constexpr const char* kCannotWriteToFile =
    "Cannot Write to file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";
// 10464, 10474, 20195, 20197, 30400, 30439, 30442
inline constexpr const char* kCannotReadFromFile =
    "Cannot Read from file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";
// 10470
inline constexpr const char* kInvalidFileFormat =
    "Invalid file format. Found signature: '%s', expected: '%s'";
// 10471
inline constexpr const char* kInvalidPageNo = "Invalid PageNo = %d";
// 10476, 10477
inline constexpr const char* kInvalidPageOffset =
    "Error - invalid page offset = %d, page size = %d";
// 10512
inline constexpr const char* kCannotRepairPageIndex =
    "Cannot repair page index for large table. Table name: \"%s\"";
// 20038
inline constexpr const char* kPageBufferNil = "Invalid page buffer. Buffer is Nil";
// 20039
inline constexpr const char* kInvalidPageModification = "Invalid page modification";
// 20085
inline constexpr const char* kInvalidPage = "Invalid page";
// 20086
inline constexpr const char* kCannotWriteUsedPage = "Cannot write used page";
// 20087
inline constexpr const char* kInvalidIndexPage = "Invalid index page";
// 20088
inline constexpr const char* kCannotRemoveUsedPage = "Cannot remove used page";
// 20090
inline constexpr const char* kPageIsUsedByOtherSession = "Page is used by other session";
// 20093, 20096, 20240, 20241
inline constexpr const char* kCannotUnlockSessionsFile = "Cannot unlock sessions file";
// 20094
inline constexpr const char* kCannotConnectSession =
    "Cannot connect session. Maximum connections quantity exceeded or database is open in "
    "single-user mode";
// 20095
inline constexpr const char* kCannotDisconnectSession = "Cannot disconnect session";
// 20097
inline constexpr const char* kCannotFreeNonCommitedPages = "Cannot free non-commited pages";
// 20140
inline constexpr const char* kInvalidNumberOfRecordsOnPage = "Invalid number of records on page";
// 20141
inline constexpr const char* kRecordPageFull = "Cannot add record to page. Page is full";
// 20143
inline constexpr const char* kRecordNotFoundOnPage =
    "Record not found. PageNo=%d, PageRecordCount=%d";
// 20144, 20145, 20146, 20147, 20148
inline constexpr const char* kRecordNotFound = "Record not found";
// 20150
inline constexpr const char* kBlobCacheNotReleased = "Blob cache not released";
// 20152
inline constexpr const char* kSomeSessionPagesNotReleased = "Some session pages not released";
// 20153
inline constexpr const char* kInvalidPageTypeCorruption =
    "Invalid page type. Possible data corruption. Expecting type %d, but found %d";
// 20155
inline constexpr const char* kInvalidPageTypeFound = "Invalid PageType found: %d but expecting: %d";
// 20156, 30389
inline constexpr const char* kInternalFileClosed =
    "Cannot perform this operation (%s) on closed internal file";
// 20157, 30383
inline constexpr const char* kInternalFileExists =
    "Cannot create Internal file. File already exists. StartPageNo=%d";
// 20158
inline constexpr const char* kWriteAfterEndOfFile =
    "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d";
// 20159
inline constexpr const char* kSeekBeyondFileSize =
    "Seek position bigger then file size. FileSize=%d. Position=%d";
// 20162, 20291
inline constexpr const char* kCannotReadBLOBFieldValue = "Cannot read BLOB field value";
// 20164
inline constexpr const char* kInvalidTableHeaderData = "Invalid table header data";
// 20165
inline constexpr const char* kSortedPageListEmpty =
    "TSortedPageList.Delete - no elements in array!";
// 20166
inline constexpr const char* kSortedPageListKeyNotFound =
    "TSortedPageList.Delete - element not found, key = %d, itemCount = %d";
// 20167
inline constexpr const char* kPageNotFound = "Page not found";
// 20171
inline constexpr const char* kCannotFindBlobField = "Cannot find blob field";
// 20172
inline constexpr const char* kInvalidBlobFieldID = "Invalid blob field ID";
// 20174
inline constexpr const char* kRecordTooLargeForPage =
    "Cannot create table. Record is too large to fit in current database page. Please increase "
    "page size of database file or decrease record size";
// 20186
inline constexpr const char* kInvalidSessionID = "Invalid Session ID";
// 20187
inline constexpr const char* kTableFileCompressionError = "Table file compression error";
// 20189
inline constexpr const char* kTableFileDecompressionError =
    "Table file decompression error. Possible table corruption";
// 20196
inline constexpr const char* kFileModifiedExternally =
    "Cannot write changes. Database file was modified by external application";
// 20200
inline constexpr const char* kCannotSetTableLockNoSlot =
    "Cannot set table lock. Try to repair database or to increase number of allowed connections";
// 20201, 20234
inline constexpr const char* kSomeTableLocksStillExist = "Some table locks still exist";
// 20202
inline constexpr const char* kTableLockNotFound = "Cannot remove table lock. Lock not found";
// 20203
inline constexpr const char* kCannotSetTableLock = "Cannot set table lock";
// 20204
inline constexpr const char* kCannotUnlockTable = "Cannot unlock table";
// 20205
inline constexpr const char* kCannotLockRecord = "Cannot lock record";
// 20206
inline constexpr const char* kCannotUnlockRecord = "Cannot unlock record";
// 20209
inline constexpr const char* kCannotOpenLockedTable = "Cannot open table '%s'. Table is locked";
// 20210
inline constexpr const char* kDatabaseTablesAreLocked = "Database tables are locked";
// 20211
inline constexpr const char* kCannotUnlockDatabaseTables = "Cannot unlock database tables";
// 20213, 20230, 20231, 20232, 20236
inline constexpr const char* kDatabaseIsLocked = "Database is locked";
// 20214, 20215, 20216, 20217, 20218, 20219, 20220
inline constexpr const char* kTableIsLocked = "Table is locked";
// 20233
inline constexpr const char* kCommitLocksFailed =
    "Cannot commit changes. Locks of modified tables failed";
// 20235
inline constexpr const char* kMixedUserModes =
    "Cannot open database in multi-user and signle-user mode at the same time";
// 20237
inline constexpr const char* kInvalidDatabaseFormat = "Invalid database format";
// 20242
inline constexpr const char* kExclusiveTableOpenByCursors =
    "Cannot access table '%s' in exclusive mode. Table is open by another cursors";
// 20248
inline constexpr const char* kInvalidBlobFieldSize = "Invalid blob field size";
// 20290
inline constexpr const char* kBlobPageFull =
    "Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, "
    "SizeInBlobPageIndex=%d";
// 20299
inline constexpr const char* kErrorReadingPage =
    "Error reading database file page. Page No: %d, type %d";
// 20300
inline constexpr const char* kErrorGettingTableFilePage =
    "Error getting %d-th table file page. Probably database is corrupted and needs repair.";
// 30361
inline constexpr const char* kCannotCreateFile =
    "Cannot create file: '%s' Error code: %d. ErrorMessage: %s";
// 30364
inline constexpr const char* kCannotOpenFile =
    "Cannot open file:'%s' Error code: %d. ErrorMessage: %s";
// 30365
inline constexpr const char* kCannotCloseFile =
    "Cannot close file:'%s' Error code: %d. ErrorMessage: %s";
// 30366
inline constexpr const char* kUnknownAccessMode = "Unknown Access mode: '%d'";
// 30367
inline constexpr const char* kUnknownShareMode = "Unknown Share mode: '%d'";
// 30370
inline constexpr const char* kCannotTruncateFile =
    "Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s";
// 30371
inline constexpr const char* kCannotGetFileSize =
    "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s";
// 30372
inline constexpr const char* kCannotSetFilePosition =
    "Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d";
// 30373
inline constexpr const char* kCannotGetFilePosition =
    "Cannot Get File Position. FileName='%s' ErrorCode:%d. ErrorMessage: %s";
// 30374
inline constexpr const char* kBlankFileName = "Cannot create file with blank FileName";
// 30376
inline constexpr const char* kOperationOnClosedFile =
    "Cannot perform this operation (%s) on a closed file";
// 30377
inline constexpr const char* kOperationOnOpenedFile =
    "Cannot perform this operation (%s) on a opened file";
// 30379
inline constexpr const char* kCannotFlushFile =
    "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s";
// 30382
inline constexpr const char* kUnknownPageType = "Unknown Page Type: (%d)";
// 30387
inline constexpr const char* kCannotReadInternalFile =
    "Cannot Read internal file. FileSize=%d. ReadSize=%d";
// 30388
inline constexpr const char* kCannotReadInternalFileBytes =
    "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d";
// 30392
inline constexpr const char* kErrorCreatingSystemDirectory =
    "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d.";
// 30393
inline constexpr const char* kTableListFileAlreadyOpened = "Table list file already opened.";
// 30395
inline constexpr const char* kCannotCreateExistingTable =
    "Cannot create table. Table '%s' already exists";
// 30396, 30397, 30405
inline constexpr const char* kTableNotExists = "Table '%s' not exists.";
// 30401
inline constexpr const char* kNextObjectIDLocked = "Cannot get NextObjectID. File area is Locked.";
// 30423, 30424, 30428, 30430, 30432
inline constexpr const char* kWrongPageType = "Wrong page type. Found '%s', but expecting: '%s'";
// 30425
inline constexpr const char* kPageAlreadyUsed = "Page: %d already used";
// 30427
inline constexpr const char* kPageAlreadyFree = "Page: %d already free";
// 30430, 30431
inline constexpr const char* kPageCannotBeAddressed =
    "Page: %d cannot be addressed. TotalPageCount=%d";
// 30434
inline constexpr const char* kCannotDeleteMapPage = "Cannot delete PFS or EAM page. PageNo=%d";
// 30445
inline constexpr const char* kIncorrectPassword = "Cannot open database - incorrect password";
// 30446
inline constexpr const char* kDecryptPageCRCFailed =
    "Decrypt page error. Check CRC failed. PageNo: %d";
// 30046
inline constexpr const char* kUnicodeNotSupported =
    "Unicode is not supported by this version of Windows. The Microsoft Layer for Unicode (file "
    "\"unicows.dll\") must be placed in the application's folder.";
// 10499
inline constexpr const char* kFieldTypeNotSupported =
    "Table '%s', field '%s': the field's type is not supported by the dataset layer";
// 20238
inline constexpr const char* kCannotConvertDatabase =
    "Cannot convert database to the new format. Please contact support@wagenlog.example with "
    "this issue";

// The application's window framework.
// The title of error boxes and the main window's caption.
inline constexpr const char* kProgramName = "Wagenlog";
// An exception that carries no message of its own.
inline constexpr const char* kUnknownException = "Unknown exception";
inline constexpr const char* kOutOfMemory = "Out of memory";
// The window placement store (a settings file standing in for the registry).
inline constexpr const char* kPlacementStoreUnreadable =
    "Cannot read the window placement store '%s'";
inline constexpr const char* kPlacementStoreDamaged = "The window placement store '%s' is damaged";
inline constexpr const char* kPlacementStoreUnwritable =
    "Cannot write the window placement store '%s'";
inline constexpr const char* kInvalidRegType = "Invalid data type for '%s'";

// The dataset result texts of EQDXEngineError.
inline constexpr const char* kEngineErrorPrefix = "Quendrix Engine Error # ";
// Appended by a format that does not fit its arguments.
inline constexpr const char* kArgumentsAreInvalid = " Arguments are invalid!";
// Closes every EQDXException message, followed by the code.
inline constexpr const char* kNativeErrorSuffix = " - Native error: ";

// ECipherException 3 (the cipher's class name)
inline constexpr const char* kCipherNotInitialized =
    "%s is not initialized call Init() or InitKey() before.";
// 10185, 10186: a stored variant whose size does not fit its data type
inline constexpr const char* kInvalidStoredValue = "Invalid stored value. DataType = %s, Size = %d";

// ---- Definitions and record layout --------------------------------------------------------------
// 10189 (read or given): a declared size that no record could hold
inline constexpr const char* kInvalidFieldSize = "Invalid field size. DataType = %s, Size = %d";
// 10189: a table whose record would not fit in 2 GB
inline constexpr const char* kRecordSizeTooLarge = "Record size too large. FieldCount = %d";

// 20280: the disk page manager refuses a commit that would write a page read as freed or
// unreadable (its cached PageVersion is 0x7FFFFFFD or above), before it writes anything.
inline constexpr const char* kPageVersionNotWritable =
    "Cannot write page %d. Its PageVersion %d marks a freed or unreadable page";

// 20281: an encrypted database's page cannot be enciphered with the password's algorithm
// code (a code above 7 enciphers nothing); the page is not written.
inline constexpr const char* kCannotEncipherPage =
    "Cannot encrypt page %d. Unknown crypto algorithm: %d";
// 20282: a database cannot be created with a password whose algorithm code is above 7.
inline constexpr const char* kUnknownCryptoAlgorithm = "Unknown crypto algorithm: %d";

// The qdx utility (tools/qdx): usage, and the faults its check reports. These are not engine
// errors and carry no native code.
inline constexpr const char* kQdxUsage =
    "Usage: qdx COMMAND FILE [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  create FILE [--page-size N] [--pages-per-extent N] [--max-connections N]\n"
    "              [--password TEXT] [--cipher NAME]\n"
    "      creates an empty database (defaults: 4096, 8, 500; cipher Rijndael_128)\n"
    "  info FILE [--password TEXT]\n"
    "      prints the header, the cipher, the page count, the system directory and the\n"
    "      table list as 'name: value' lines\n"
    "  check FILE [--password TEXT]\n"
    "      verifies the file and reports its first fault\n"
    "\n"
    "Ciphers: Rijndael_128, Rijndael_256, DES_Single, DES_Triple, Blowfish, Twofish_128,\n"
    "Twofish_256, Square.\n"
    "Exit status: 0 success, 1 database error (message on stderr), 2 bad usage.\n";
inline constexpr const char* kQdxUnknownCommand = "Unknown command '%s'";
inline constexpr const char* kQdxUnknownOption = "Unknown option '%s' for %s";
inline constexpr const char* kQdxMissingValue = "Option %s needs a value";
inline constexpr const char* kQdxInvalidNumber = "Option %s needs a number from %d to %d, not '%s'";
inline constexpr const char* kQdxUnknownCipher = "Unknown cipher '%s'";
inline constexpr const char* kQdxCipherWithoutPassword = "Option --cipher needs --password";
inline constexpr const char* kQdxFileNameMissing = "No database file given";
inline constexpr const char* kQdxFileExists = "Cannot create database. File '%s' already exists";
inline constexpr const char* kQdxCheckPassed = "No faults found";
inline constexpr const char* kQdxNeedsRepair =
    "Database needs repair. FileState=%d, Version=%s";
inline constexpr const char* kQdxPageCountMismatch =
    "File size does not match the header. TotalPageCount=%d, pages in file=%d";
inline constexpr const char* kQdxLastUsedPageBeyondEnd =
    "Last used page beyond the end of the file. LastUsedPageNo=%d, TotalPageCount=%d";
inline constexpr const char* kQdxMapPageType =
    "Free space map page %d has type %d, expecting %d";
inline constexpr const char* kQdxPageOutsideFile =
    "Page %d of the %s is outside the file. TotalPageCount=%d";
inline constexpr const char* kQdxChainLoops = "The %s comes back to page %d";
inline constexpr const char* kQdxChainPageFree =
    "Page %d of the %s is marked free in the page free space map";
inline constexpr const char* kQdxPageShared = "Page %d belongs to the %s and to the %s";
inline constexpr const char* kQdxUnreachedPage =
    "Page %d (%s) is in use but no structure reaches it";
inline constexpr const char* kQdxMapBeyondEnd =
    "The page free space map marks page %d in use beyond the end of the file. TotalPageCount=%d";
inline constexpr const char* kQdxFreedPageInUse =
    "Page %d is in use but was freed (PageVersion=%d)";
inline constexpr const char* kQdxExtentMarkedFull =
    "Extent %d is marked full but page %d is free";
inline constexpr const char* kQdxDirectoryEntryUnknown =
    "System directory entry %d has the unknown kind %d";
inline constexpr const char* kQdxDirectoryEntryMissing =
    "The system directory has no entry of kind %d";

// ---- Record and BLOB pages ----
// The page formats of disk tables and BLOBs. The codes from 20310 report damage or misuse that
// the stored forms give no code of their own.
inline constexpr Message kRecordPageGeometry{20140, kInvalidNumberOfRecordsOnPage};
inline constexpr Message kRecordPageIsFull{20141, kRecordPageFull};
inline constexpr Message kTableHeaderInvalid{20164, kInvalidTableHeaderData};
inline constexpr Message kBlobEntryNotFound{20171, kCannotFindBlobField};
inline constexpr Message kNoFreeBlobID{20172, kInvalidBlobFieldID};
inline constexpr Message kBlobEntryDoesNotFit{20290, kBlobPageFull};
inline constexpr Message kInvalidRecordSlot{20310,
                                            "Invalid record slot. Slot=%d, RecordsPerPage=%d"};
inline constexpr Message kDamagedBlobPage{
    20311, "Invalid blob page. BlobCount=%d, BlobNo=%d, BlobOffset=%d, PageDataSize=%d"};
inline constexpr Message kDamagedBlobPageList{
    20312,
    "Invalid blob page list. DataLength=%d, PageCount=%d, Offset=%d, PageDataSize=%d"};
inline constexpr Message kWriteMetadataPageNo{20313, kCannotWriteToStream};
inline constexpr Message kReadMetadataPageNo{20314, kCannotReadFromStream};

}  // namespace qdx::msg
