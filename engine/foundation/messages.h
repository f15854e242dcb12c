// The engine's message catalogue: every native code bound to its text.
//
// Every EQDXException takes its code and text from an entry here, so that each message is exact
// and a throw site reads `Raise(msg::kName, {...})`. A text with conversions is a format for the
// safe formatter of format.h; "%d" takes any integer, "%s" any text. A text that several codes
// share is named once and each code gets an entry naming the failure; codes of the catalogue that
// no code raises yet are listed under their text until their raise site gets an entry.
#pragma once

#include <cstdint>

namespace qdx::msg {

// A catalogue entry: one native code bound to its text. Codes that share one text each get an
// entry of their own naming that text, so that a throw site reads `Raise(msg::kName, {...})`.
struct Message {
  int32_t Code;
  const char* Text;
};

// ---- Texts that several entries share ---------------------------------------------------------
// Not raised yet: 10079, 10091.
inline constexpr const char* kCannotSetStreamPosition =
    "Cannot set stream position to %d. Position = %d, Size = %d";
inline constexpr const char* kStreamSizeTooSmall =
    "Stream size = %d too small. Should be at least = %d";
// Not raised yet: 10401, 10402, 10426.
inline constexpr const char* kCannotReadFromStream =
    "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d";
inline constexpr const char* kInvalidStreamSize = "Invalid stream size = %d. Should be = %d";
inline constexpr const char* kErrorWritingToStream = "Error writing to stream";
// Not raised yet: 10398, 10400, 10427.
inline constexpr const char* kCannotWriteToStream =
    "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d";
inline constexpr const char* kStreamBlockSizeZero = "Stream block size = 0 is not allowed";
// Not raised yet: 10433, 10434.
inline constexpr const char* kNotAVariantArray = "Not a variant array";
// Not raised yet: 10435, 10436, 10438.
inline constexpr const char* kInvalidVariantArrayBounds =
    "Invalid variant array bounds. DimCount = %d, IndexCount = %d";
inline constexpr const char* kInvalidPointer = "Invalid pointer";
inline constexpr const char* kValueIsNull = "Value is Null";
inline constexpr const char* kUnknownDataType = "Unknown DataType: '%s'";
inline constexpr const char* kCannotCastFromTo = "Cannot cast from '%s' to '%s'";
inline constexpr const char* kUnsupportedVariantType = "Unsupported Variant Type %s";
inline constexpr const char* kNotNumericArgument = "Not numeric argument in numeric operator '%s'";
inline constexpr const char* kDatasetNotInEditOrInsertMode = "Dataset not in edit or insert mode";
inline constexpr const char* kDatasetIsNotOpened = "Dataset is not opened";
inline constexpr const char* kDatasetNotInInsertOrEditMode =
    "Dataset is not in insert or edit mode";
inline constexpr const char* kDatasetIsInReadOnlyMode = "Dataset is in read only mode";
// Not raised yet: 10034, 10035, 10036, 10037, 10038, 10039, 10040, 10041, 10042, 10043, 10044,
// 10045, 10046, 10047, 10048, 10050, 10051, 10052, 10053, 10054, 10055, 10056, 10057, 10058, 10059,
// 10060, 10061, 10063, 10065, 10066, 10067, 10070, 10071, 10078, 10108, 10259, 10266, 10267, 10268,
// 10269, 10270, 10275, 10280, 10281, 10287, 10288, 10296, 10299, 10300, 10311, 10315, 10316, 10319,
// 10320, 10326, 10500, 10503, 10504, 10514, 10001, 10113, 10114, 10119, 10120, 10121, 10122, 10123,
// 10384, 10385, 10399, 10414, 10483, 10489, 10490, 10491, 10492, 10493, 10494.
inline constexpr const char* kNilPointerOccured = "Nil pointer occured";
// Not raised yet: 10515.
inline constexpr const char* kQualifiedTableAlreadyExists = "Table '%s.%s' already exists";
// Not raised yet: 20034, 30142.
inline constexpr const char* kNoSQLStatementAvailable = "No SQL statement available";
inline constexpr const char* kInvalidIndexName = "Invalid index name '%s'";
inline constexpr const char* kCannotFindIndexField = "Cannot find index field '%s'";
inline constexpr const char* kOperationInTransaction =
    "Cannot perform '%s' operation on a database in transaction";
inline constexpr const char* kExclusiveTableOpenByUser =
    "Cannot access table '%s' in exclusive mode. Table is open by another user";
// Not raised yet: 30031, 30032, 30028, 30329.
inline constexpr const char* kFieldNumberNotFound = "Field #%d not found";
// Not raised yet: 30039.
inline constexpr const char* kNotImplementedYet = "Not implemented yet";
// Not raised yet: 30349, 30345.
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
// Not raised yet: 20192, 20193.
inline constexpr const char* kInvalidFieldNumber =
    "Invalid field number - FieldNo = %d, FieldCount = %d";
inline constexpr const char* kTableNameNotFound = "Table not found, table name = %s";
inline constexpr const char* kCannotWriteToReadOnlyStream = "Cannot write to read only stream";
// Not raised yet: 20142.
inline constexpr const char* kNoFieldsSpecified = "Error creating table - no fields were specified";
// Not raised yet: 10321.
inline constexpr const char* kDifferentListLengths =
    "Error - different list lengths. L1 = %d, L2 = %d";
// Not raised yet: 10386, 10387, 10414, 10415, 10432.
inline constexpr const char* kCannotFindRecordPosition =
    "Cannot find record position in index %d, RecordID = %d %d";
// Not raised yet: 10394, 10395, 10428, 10429.
inline constexpr const char* kInvalidBitNo = "Invalid bit no = %d, number of bits = %d";
// Not raised yet: 20020, 20024.
inline constexpr const char* kInternalIndexError = "Internal index error";
inline constexpr const char* kIndexErrorPageIsEmpty = "Index error: page is empty";
inline constexpr const char* kIndexEntryNotFound =
    "Index error: cannot delete entry. Entry not found";
// Not raised yet: 20030, 20031, 20194.
inline constexpr const char* kIndexIntegrityError = "Index integrity error. PageNo=%d EntryNo=%d";
// Not raised yet: 20034.
inline constexpr const char* kIndexInvalidLeafLink =
    "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d";
// Not raised yet: 20044, 20045, 20058, 20076, 20077, 20273, 20161.
inline constexpr const char* kPointerIsNil = "Pointer is nil";
inline constexpr const char* kInvalidIndexKeyPath = "Invalid index key path";
// Not raised yet: 20099, 20101, 20103, 20107, 20108.
inline constexpr const char* kIndexErrorInvalidPosition = "Index error: invalid position";
// Not raised yet: 20100, 20102, 20115, 20116, 20117, 20118.
inline constexpr const char* kIndexErrorInvalidPageNumber = "Index error: invalid page number";
inline constexpr const char* kRecNoBeyondRecordCount = "Cannot set RecNo greater than RecordCount";
// Not raised yet: 20104, 20105, 20110, 20114, 20121, 20122, 20124, 20125, 20126, 20127, 20293.
inline constexpr const char* kInvalidPageNumber = "Invalid page number";
inline constexpr const char* kTableNotFound = "Table '%s' not found";
inline constexpr const char* kConstraintNotNull =
    "Constraint '%s' violated. Value in field '%s' cannot be null";
inline constexpr const char* kNamedIndexNotFound = "Index '%s' not found";
// Not raised yet: 30346.
inline constexpr const char* kCannotRenameFieldExists =
    "Cannot rename field '%s'. Field '%s' already exists";
inline constexpr const char* kDatabaseFileNotOpened = "Error - database file is not opened.";
inline constexpr const char* kDatabaseFileInUse = "Error - database file %s is in use.";
inline constexpr const char* kCannotWriteToFile =
    "Cannot Write to file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";
// Not raised yet: 20197.
inline constexpr const char* kCannotReadFromFile =
    "Cannot Read from file: '%s' Position = %d, Count = %d, FilePosition = %d, FileSize = %d, "
    "ErrorCode:%d. ErrorMessage: %s";
inline constexpr const char* kInvalidPageOffset =
    "Error - invalid page offset = %d, page size = %d";
inline constexpr const char* kCannotUnlockSessionsFile = "Cannot unlock sessions file";
// Not raised yet: 20144, 20145, 20147, 20148.
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kInternalFileClosed =
    "Cannot perform this operation (%s) on closed internal file";
inline constexpr const char* kInternalFileExists =
    "Cannot create Internal file. File already exists. StartPageNo=%d";
inline constexpr const char* kCannotReadBLOBFieldValue = "Cannot read BLOB field value";
inline constexpr const char* kSomeTableLocksStillExist = "Some table locks still exist";
inline constexpr const char* kDatabaseIsLocked = "Database is locked";
inline constexpr const char* kTableIsLocked = "Table is locked";
inline constexpr const char* kTableNotExists = "Table '%s' not exists.";
inline constexpr const char* kWrongPageType = "Wrong page type. Found '%s', but expecting: '%s'";
// Not raised yet: 30431.
inline constexpr const char* kPageCannotBeAddressed =
    "Page: %d cannot be addressed. TotalPageCount=%d";
// A stored variant whose size does not fit its data type.
inline constexpr const char* kInvalidStoredValue = "Invalid stored value. DataType = %s, Size = %d";

// The catalogue: X(name, code, text) for every entry; QDX_DEFINE_MESSAGE declares each one as
// `inline constexpr Message name{code, text}`, and the catalogue test walks the same list.
#define QDX_ENGINE_MESSAGES(X)                                                                     \
  X(kSeekBlobBlockHeaders, 10080, kCannotSetStreamPosition)                                        \
  X(kSeekNextBlobBlockHeader, 10083, kCannotSetStreamPosition)                                     \
  /* The seek to a block's compressed bytes; 10086 is the read of those bytes. */                  \
  X(kSeekBlobBlockData, 30480, kCannotSetStreamPosition)                                           \
  X(kSeekTruncatedBlobBlock, 10094, kCannotSetStreamPosition)                                      \
  X(kSeekRewrittenBlobBlock, 10099, kCannotSetStreamPosition)                                      \
  X(kSeekBlobBlocksEnd, 10102, kCannotSetStreamPosition)                                           \
  X(kSeekBlobDataStart, 10103, kCannotSetStreamPosition)                                           \
  X(kPlainBlobBeyondStream, 10081, kStreamSizeTooSmall)                                            \
  X(kBlobBlockHeaderBeyondStream, 10082, kStreamSizeTooSmall)                                      \
  X(kCompressBufferFailed, 10085,                                                                  \
    "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d")              \
  X(kReadBlobBlockData, 10086, kCannotReadFromStream)                                              \
  X(kSaveStreamRead, 10146, kCannotReadFromStream)                                                 \
  X(kCopyStreamRead, 10148, kCannotReadFromStream)                                                 \
  X(kReadVariantDataType, 10183, kCannotReadFromStream)                                            \
  X(kReadVariantNullState, 10184, kCannotReadFromStream)                                           \
  X(kReadVariantSize, 10185, kCannotReadFromStream)                                                \
  X(kReadVariantData, 10186, kCannotReadFromStream)                                                \
  X(kReadDefCount, 10159, kCannotReadFromStream)                                                   \
  X(kReadDefNameLength, 10166, kCannotReadFromStream)                                              \
  X(kReadDefName, 10167, kCannotReadFromStream)                                                    \
  X(kReadDefObjectID, 10169, kCannotReadFromStream)                                                \
  X(kReadFieldDataType, 10187, kCannotReadFromStream)                                              \
  X(kReadFieldType, 10188, kCannotReadFromStream)                                                  \
  X(kReadFieldSize, 10189, kCannotReadFromStream)                                                  \
  X(kReadFieldBlobCompressionAlgorithm, 10192, kCannotReadFromStream)                              \
  X(kReadFieldBlobCompressionMode, 10193, kCannotReadFromStream)                                   \
  X(kReadFieldBlobBlockSize, 10194, kCannotReadFromStream)                                         \
  X(kReadFieldAutoincIncrement, 30407, kCannotReadFromStream)                                      \
  X(kReadFieldAutoincInitialValue, 30408, kCannotReadFromStream)                                   \
  X(kReadFieldAutoincMinValue, 30409, kCannotReadFromStream)                                       \
  X(kReadFieldAutoincMaxValue, 30410, kCannotReadFromStream)                                       \
  X(kReadFieldAutoincCycled, 30411, kCannotReadFromStream)                                         \
  X(kReadConstraintType, 10220, kCannotReadFromStream)                                             \
  X(kReadCheckFirstRefID, 10230, kCannotReadFromStream)                                            \
  X(kReadCheckTableRefID, 10231, kCannotReadFromStream)                                            \
  X(kReadCheckTargetRefID, 10232, kCannotReadFromStream)                                           \
  X(kReadCheckFirstRefLength, 10233, kCannotReadFromStream)                                        \
  X(kReadCheckFirstRefName, 10234, kCannotReadFromStream)                                          \
  X(kReadCheckTableRefLength, 10235, kCannotReadFromStream)                                        \
  X(kReadCheckTableRefName, 10236, kCannotReadFromStream)                                          \
  X(kReadCheckTargetRefLength, 10237, kCannotReadFromStream)                                       \
  X(kReadCheckTargetRefName, 10238, kCannotReadFromStream)                                         \
  X(kReadNotNullFirstRefID, 10249, kCannotReadFromStream)                                          \
  X(kReadNotNullTableRefID, 10250, kCannotReadFromStream)                                          \
  X(kReadNotNullTargetRefID, 10251, kCannotReadFromStream)                                         \
  X(kReadNotNullFirstRefLength, 10252, kCannotReadFromStream)                                      \
  X(kReadNotNullFirstRefName, 10253, kCannotReadFromStream)                                        \
  X(kReadNotNullTableRefLength, 10254, kCannotReadFromStream)                                      \
  X(kReadNotNullTableRefName, 10255, kCannotReadFromStream)                                        \
  X(kReadNotNullTargetRefLength, 10256, kCannotReadFromStream)                                     \
  X(kReadNotNullTargetRefName, 10257, kCannotReadFromStream)                                       \
  X(kReadUniqueFirstRefID, 30303, kCannotReadFromStream)                                           \
  X(kReadUniqueTableRefID, 30304, kCannotReadFromStream)                                           \
  X(kReadUniqueTargetRefID, 30317, kCannotReadFromStream)                                          \
  X(kReadUniqueFirstRefLength, 30305, kCannotReadFromStream)                                       \
  X(kReadUniqueFirstRefName, 30306, kCannotReadFromStream)                                         \
  X(kReadUniqueTableRefLength, 30307, kCannotReadFromStream)                                       \
  X(kReadUniqueTableRefName, 30308, kCannotReadFromStream)                                         \
  X(kReadUniqueTargetRefLength, 30321, kCannotReadFromStream)                                      \
  X(kReadUniqueTargetRefName, 30322, kCannotReadFromStream)                                        \
  X(kReadUniqueColumnCount, 30309, kCannotReadFromStream)                                          \
  X(kReadUniqueColumnFieldID, 30310, kCannotReadFromStream)                                        \
  X(kReadUniqueColumnNameLength, 30311, kCannotReadFromStream)                                     \
  X(kReadUniqueColumnName, 30312, kCannotReadFromStream)                                           \
  X(kReadIndexKind, 10349, kCannotReadFromStream)                                                  \
  X(kReadIndexUnique, 10350, kCannotReadFromStream)                                                \
  X(kReadIndexPrimary, 10351, kCannotReadFromStream)                                               \
  X(kReadIndexColumnCount, 10352, kCannotReadFromStream)                                           \
  X(kReadIndexRootPageNo, 10353, kCannotReadFromStream)                                            \
  X(kReadIndexFieldNameLength, 10358, kCannotReadFromStream)                                       \
  X(kReadIndexFieldName, 10359, kCannotReadFromStream)                                             \
  X(kReadIndexDescending, 10360, kCannotReadFromStream)                                            \
  X(kReadIndexCaseInsensitive, 10361, kCannotReadFromStream)                                       \
  X(kReadIndexMaxIndexedSize, 20168, kCannotReadFromStream)                                        \
  X(kDecompressBufferFailed, 10087,                                                                \
    "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d")                           \
  X(kDecompressBufferSizeMismatch, 10088,                                                          \
    "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d")                           \
  X(kDecompressBufferChecksum, 10089,                                                              \
    "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d")                                  \
  X(kCannotReadFromStreamReadSize, 10090, "Cannot read from stream. ReadSize = %d")                \
  X(kCannotExtendBlobStream, 10092, kInvalidStreamSize)                                            \
  X(kCannotResizeBlobStream, 10093, kInvalidStreamSize)                                            \
  X(kWriteTruncatedBlockHeader, 10095, kErrorWritingToStream)                                      \
  X(kWriteTruncatedBlockData, 10096, kErrorWritingToStream)                                        \
  X(kExtendBlobWithZeros, 10097, kCannotWriteToStream)                                             \
  X(kWriteBlobBlockHeader, 10100, kCannotWriteToStream)                                            \
  X(kWriteBlobBlockData, 10101, kCannotWriteToStream)                                              \
  X(kSaveStreamWrite, 10147, kCannotWriteToStream)                                                 \
  X(kCopyStreamWrite, 10149, kCannotWriteToStream)                                                 \
  X(kWriteVariantDataType, 10179, kCannotWriteToStream)                                            \
  X(kWriteVariantNullState, 10180, kCannotWriteToStream)                                           \
  X(kWriteVariantSize, 10181, kCannotWriteToStream)                                                \
  X(kWriteVariantData, 10182, kCannotWriteToStream)                                                \
  X(kWriteDefCount, 10158, kCannotWriteToStream)                                                   \
  X(kWriteDefNameLength, 10164, kCannotWriteToStream)                                              \
  X(kWriteDefName, 10165, kCannotWriteToStream)                                                    \
  X(kWriteDefObjectID, 10168, kCannotWriteToStream)                                                \
  X(kWriteFieldDataType, 10170, kCannotWriteToStream)                                              \
  X(kWriteFieldType, 10171, kCannotWriteToStream)                                                  \
  X(kWriteFieldSize, 10172, kCannotWriteToStream)                                                  \
  X(kWriteFieldBlobCompressionAlgorithm, 10175, kCannotWriteToStream)                              \
  X(kWriteFieldBlobCompressionMode, 10176, kCannotWriteToStream)                                   \
  X(kWriteFieldBlobBlockSize, 10177, kCannotWriteToStream)                                         \
  X(kWriteFieldAutoincIncrement, 30412, kCannotWriteToStream)                                      \
  X(kWriteFieldAutoincInitialValue, 30413, kCannotWriteToStream)                                   \
  X(kWriteFieldAutoincMinValue, 30414, kCannotWriteToStream)                                       \
  X(kWriteFieldAutoincMaxValue, 30415, kCannotWriteToStream)                                       \
  X(kWriteFieldAutoincCycled, 30416, kCannotWriteToStream)                                         \
  X(kWriteConstraintType, 10219, kCannotWriteToStream)                                             \
  X(kWriteCheckFirstRefID, 10227, kCannotWriteToStream)                                            \
  X(kWriteCheckTableRefID, 10228, kCannotWriteToStream)                                            \
  X(kWriteCheckTargetRefID, 10229, kCannotWriteToStream)                                           \
  X(kWriteCheckFirstRefLength, 10221, kCannotWriteToStream)                                        \
  X(kWriteCheckFirstRefName, 10222, kCannotWriteToStream)                                          \
  X(kWriteCheckTableRefLength, 10223, kCannotWriteToStream)                                        \
  X(kWriteCheckTableRefName, 10224, kCannotWriteToStream)                                          \
  X(kWriteCheckTargetRefLength, 10225, kCannotWriteToStream)                                       \
  X(kWriteCheckTargetRefName, 10226, kCannotWriteToStream)                                         \
  X(kWriteNotNullFirstRefID, 10240, kCannotWriteToStream)                                          \
  X(kWriteNotNullTableRefID, 10241, kCannotWriteToStream)                                          \
  X(kWriteNotNullTargetRefID, 10242, kCannotWriteToStream)                                         \
  X(kWriteNotNullFirstRefLength, 10243, kCannotWriteToStream)                                      \
  X(kWriteNotNullFirstRefName, 10244, kCannotWriteToStream)                                        \
  X(kWriteNotNullTableRefLength, 10245, kCannotWriteToStream)                                      \
  X(kWriteNotNullTableRefName, 10246, kCannotWriteToStream)                                        \
  X(kWriteNotNullTargetRefLength, 10247, kCannotWriteToStream)                                     \
  X(kWriteNotNullTargetRefName, 10248, kCannotWriteToStream)                                       \
  X(kWriteUniqueFirstRefID, 30313, kCannotWriteToStream)                                           \
  X(kWriteUniqueTableRefID, 30314, kCannotWriteToStream)                                           \
  X(kWriteUniqueTargetRefID, 30318, kCannotWriteToStream)                                          \
  X(kWriteUniqueFirstRefLength, 30315, kCannotWriteToStream)                                       \
  X(kWriteUniqueFirstRefName, 30316, kCannotWriteToStream)                                         \
  X(kWriteUniqueTableRefLength, 30317, kCannotWriteToStream)                                       \
  X(kWriteUniqueTableRefName, 30318, kCannotWriteToStream)                                         \
  X(kWriteUniqueTargetRefLength, 30323, kCannotWriteToStream)                                      \
  X(kWriteUniqueTargetRefName, 30324, kCannotWriteToStream)                                        \
  X(kWriteUniqueColumnCount, 30319, kCannotWriteToStream)                                          \
  X(kWriteUniqueColumnFieldID, 30320, kCannotWriteToStream)                                        \
  X(kWriteUniqueColumnNameLength, 30321, kCannotWriteToStream)                                     \
  X(kWriteUniqueColumnName, 30322, kCannotWriteToStream)                                           \
  X(kWriteIndexCount, 10343, kCannotWriteToStream)                                                 \
  X(kWriteIndexKind, 10344, kCannotWriteToStream)                                                  \
  X(kWriteIndexUnique, 10345, kCannotWriteToStream)                                                \
  X(kWriteIndexPrimary, 10346, kCannotWriteToStream)                                               \
  X(kWriteIndexColumnCount, 10347, kCannotWriteToStream)                                           \
  X(kWriteIndexRootPageNo, 10348, kCannotWriteToStream)                                            \
  X(kWriteIndexFieldNameLength, 10354, kCannotWriteToStream)                                       \
  X(kWriteIndexFieldName, 10355, kCannotWriteToStream)                                             \
  X(kWriteIndexDescending, 10356, kCannotWriteToStream)                                            \
  X(kWriteIndexCaseInsensitive, 10357, kCannotWriteToStream)                                       \
  X(kWriteIndexMaxIndexedSize, 20169, kCannotWriteToStream)                                        \
  X(kInvalidExtensionSize, 10098,                                                                  \
    "Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d")             \
  X(kCannotCreateStreamFile, 10104, "Cannot create file. FileName = %s")                           \
  X(kCannotOpenStreamFile, 10105, "Cannot open file. FileName = %s, Mode = %d")                    \
  X(kSaveStreamBlockSizeZero, 10418, kStreamBlockSizeZero)                                         \
  X(kCopyStreamBlockSizeZero, 10419, kStreamBlockSizeZero)                                         \
  X(kSystemError, 10437, "System error. Error code = %d")                                          \
  X(kInvalidCurrencyValue, 10439, "'%s' is not a valid currency value")                            \
  X(kBufferSizeExceeded, 20056, "Buffer size exceeded")                                            \
  X(kFreeMemInvalidPointer, 30001, kInvalidPointer)                                                \
  X(kReallocMemInvalidPointer, 30002, kInvalidPointer)                                             \
  X(kBlockSizeInvalidPointer, 30005, kInvalidPointer)                                              \
  X(kMemoryLimitExceeded, 30004, "Memory limit exceeded (Limit = %d bytes)")                       \
  X(kReallocMemError, 30014, "ReallocMem error: %s")                                               \
  X(kGetMemError, 30015, "GetMem error: %s")                                                       \
  X(kVariantValueIsNull, 30016, kValueIsNull)                                                      \
  X(kCompareValueIsNull, 30140, kValueIsNull)                                                      \
  X(kCannotCompareIncompatibleTypes, 30044,                                                        \
    "Cannot compare Incompatible DataTypes: '%s' and '%s'")                                        \
  X(kUnknownReturnCode, 30045, "Unknown return code: %d")                                          \
  X(kCompareUnknownDataType, 30047, kUnknownDataType)                                              \
  X(kSizeOfUnknownDataType, 30050, kUnknownDataType)                                               \
  X(kUnknownDatasetFieldType, 30289, kUnknownDataType)                                             \
  X(kCastFailed, 30051, kCannotCastFromTo)                                                         \
  X(kNoCastBetweenTypes, 30052, kCannotCastFromTo)                                                 \
  X(kCannotCopyDataIntoNewMemory, 30054, "Cannot copy data into new memory")                       \
  X(kUnsupportedVariantTypeIn, 30113, kUnsupportedVariantType)                                     \
  X(kUnsupportedVariantTypeOut, 30114, kUnsupportedVariantType)                                    \
  X(kCannotInvertNonNumeric, 30123, "Cannot invert value with not numeric type '%s'")              \
  X(kAddNotNumeric, 30124, kNotNumericArgument)                                                    \
  X(kSubtractNotNumeric, 30126, kNotNumericArgument)                                               \
  X(kMultiplyNotNumeric, 30127, kNotNumericArgument)                                               \
  X(kDivisionError, 30128, "Division error: %s")                                                   \
  X(kMemoryOverrunDetected, 30137, "Memory overrun detected")                                      \
  X(kFreeAndNillMemError, 30138, "FreeAndNillMem error: %s")                                       \
  X(kCannotAllocateZeroBytes, 30286, "Cannot allocate 0 bytes")                                    \
  X(kUnknownGetMemMethodType, 30340, "Unknown GetMem method type: %d")                             \
  X(kCannotRetrieveRecord, 10026, "Cannot retrieve record")                                        \
  X(kRecordBufferNil, 10003, kNilPointerOccured)                                                   \
  X(kGetRecordBufferNil, 10016, kNilPointerOccured)                                                \
  X(kIndexFieldNamesNil, 10389, kNilPointerOccured)                                                \
  X(kIndexOrdersNil, 10390, kNilPointerOccured)                                                    \
  X(kIndexCaseFlagsNil, 10391, kNilPointerOccured)                                                 \
  X(kCannotLocateOnClosedDataset, 10271, "Cannot perform LOCATE on a closed dataset")              \
  X(kCannotFindIndex, 10325, "Cannot find index %s")                                               \
  X(kErrorCreatingTableHandle, 20001, "Error creating table handle")                               \
  X(kInvalidSessionName, 20002, "Invalid session name '%s'")                                       \
  X(kDatabaseEngineIsNotInitialized, 20007, "Database Engine is not initialized")                  \
  X(kFieldIsNotInTheCurrentIndex, 20019, "Field %s is not in the current index")                   \
  X(kIndexColumnFieldMissing, 20043, kCannotFindIndexField)                                        \
  X(kProblemCopyingTable, 20199, "Problem occured while copying table '%s': '%s'")                 \
  X(kInvalidBlobCompressionMode, 20257,                                                            \
    "Invalid BlobCompressionMode (must be in 1..9 range) for blob field '%s'. Cannot create "      \
    "table "                                                                                       \
    "'%s'")                                                                                        \
  X(kCopyTableFieldObjectMissing, 20297,                                                           \
    "Cannot copy table \"%s\". Field object for field \"%s\" is not created.")                     \
  X(kNotEnoughDiskSpace, 20303,                                                                    \
    "There is not enough free space on drive to perform required operation with the database "     \
    "file.")                                                                                       \
  X(kFieldDefNotFound, 30402, kFieldNumberNotFound)                                                \
  X(kFieldCounterNotFound, 30403, kFieldNumberNotFound)                                            \
  X(kCopyConstraintNotImplemented, 30035, kNotImplementedYet)                                      \
  X(kOperationOnOpenDataset, 30141, "Cannot perform this operation on an open dataset")            \
  X(kCannotCopyTableIntoItself, 30447, "Cannot copy table '%s.%s' into it self")                   \
  X(kCreateDatabaseError, 30449, "Create database error: '%s'")                                    \
  X(kCreateTableError, 30450, "Create table '%s.%s' error: '%s'")                                  \
  X(kCannotCreateTableWithField, 30453, "Cannot create table '%s' with field: %s %s(%d)")          \
  X(kMissingFieldName, 30499, "Missing field name. FieldNo=%d, table '%s'")                        \
  X(kGetFieldNumberInvalid, 10000, kInvalidFieldNumber)                                            \
  X(kSetFieldNumberInvalid, 10004, kInvalidFieldNumber)                                            \
  X(kErrorGettingFieldData, 10002,                                                                 \
    "Error getting field data - FieldNo = %d, MemoryOffset = %d, MemoryDataSize = %d")             \
  X(kBlobFieldAlreadyOpened, 10115, "BLOB field already opened. FieldNo = %d, FieldName = %s")     \
  X(kCannotRenameOpenTable, 10150, "Cannot rename table '%s'. Table is open by another dataset")   \
  X(kFindIndexOrdersMismatch, 10276, kDifferentListLengths)                                        \
  X(kFindIndexCasesMismatch, 10277, kDifferentListLengths)                                         \
  X(kDefineIndexOrdersMismatch, 10278, kDifferentListLengths)                                      \
  X(kDefineIndexCasesMismatch, 10279, kDifferentListLengths)                                       \
  X(kNoProjectionFields, 10322, "No fields were specified while setting projection")               \
  X(kCannotFindField, 10323, "Cannot find field %s")                                               \
  X(kCannotFindIndexByID, 10324, "Cannot find index by ID = %d")                                   \
  X(kInvalidConditionNumberCount, 10382, "Invalid condition number = %d, count = %d")              \
  X(kInvalidScanCondition, 10388, "Invalid scan condition - indexID = %d, count = %d")             \
  X(kInvalidItemNumber, 10413, "Invalid item number - ItemNo = %d, ItemCount = %d")                \
  X(kBlobBlockSizeZero, 10421, "BLOB block size should be > 0 for field %s")                       \
  X(kDuplicateFieldName, 10424, "Duplicate field name %s")                                         \
  X(kCannotDeleteOpenTable, 20017, "Cannot delete table '%s'. Table is open by another dataset")   \
  X(kIndexNotFound, 20018, "Index not found")                                                      \
  X(kCannotDeleteMissingIndex, 20021, "Cannot delete index '%s'. Index not found")                 \
  X(kIndexAlreadyExists, 20022, "Cannot create index '%s'. Index already exists")                  \
  X(kDeleteFromEmptyIndexPage, 20025, kIndexErrorPageIsEmpty)                                      \
  X(kPageIndexValueZero, 20112, kIndexErrorPageIsEmpty)                                            \
  X(kIndexKeyNotFound, 20027, kIndexEntryNotFound)                                                 \
  X(kIndexRecordNotFound, 20250, kIndexEntryNotFound)                                              \
  X(kIndexKeyOrderBroken, 20028, kIndexIntegrityError)                                             \
  X(kIndexPageDamaged, 20029, kIndexIntegrityError)                                                \
  X(kIndexCircularLinks, 20032, "Index integrity error. Circular links. PageNo=%d EntryNo=%d")     \
  X(kIndexLeafLinkInvalid, 20033, kIndexInvalidLeafLink)                                           \
  X(kDatabaseNotOpen, 20131, kPointerIsNil)                                                        \
  /* Adding a table to, or finding one in, the table list of a closed database. */                 \
  X(kTableListAddNil, 20129, kPointerIsNil)                                                        \
  X(kTableListFindNil, 20130, kPointerIsNil)                                                       \
  X(kKeyPathDepthsDiffer, 20051, kInvalidIndexKeyPath)                                             \
  X(kKeyPathPagesDiffer, 20052, kInvalidIndexKeyPath)                                              \
  X(kInvalidGetRecordMode, 20053, "Invalid 'get record' mode for index: grmCurrent")               \
  X(kIndexPathEmpty, 20068, kIndexErrorInvalidPosition)                                            \
  X(kIndexPositionInvalid, 20069, kIndexErrorInvalidPosition)                                      \
  X(kNoNextSiblingPage, 20070, kIndexErrorInvalidPageNumber)                                       \
  X(kNoPriorSiblingPage, 20071, kIndexErrorInvalidPageNumber)                                      \
  X(kCannotRetrieveRecordFromEmptyIndex, 20074, "Cannot retrieve record from empty index")         \
  X(kIndexRecNoBeyondCount, 20075, kRecNoBeyondRecordCount)                                        \
  X(kPageIndexRecNoBeyondCount, 20113, kRecNoBeyondRecordCount)                                    \
  X(kIndexErrorInvalidParams, 20078, "Index error: invalid params")                                \
  X(kDatabaseAlreadyOpen, 20092, "Cannot create database. Database is already open")               \
  X(kStorageGaveNoPageNumber, 20064, kInvalidPageNumber)                                           \
  X(kPageNotInPageIndex, 20111, kInvalidPageNumber)                                                \
  X(kFreeIndexWithoutRoot, 20119, kInvalidPageNumber)                                              \
  X(kClearIndexWithoutRoot, 20120, kInvalidPageNumber)                                             \
  X(kIndexWithoutTree, 20123, kInvalidPageNumber)                                                  \
  X(kRepairClosedTransactedFile, 20301, kInvalidPageNumber)                                        \
  X(kDataItemPageFull, 20106, "Cannot add data item to page. Page is full")                        \
  X(kAutoincMaxValueExceeded, 20160, "Autoinc max value exceeded for field '%s'")                  \
  X(kCannotRetrieveRecordForIndex, 20170, "Cannot retrieve record for index")                      \
  X(kNotInTransaction, 20229, "Database is not within a transaction. Cannot perform operation")    \
  X(kNoActiveIndexForKeySearch, 20258,                                                             \
    "No active index is set for Key search. Set Table.IndexName to the index on search fields.")   \
  X(kInvalidRecordPageIndex, 20292,                                                                \
    "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=%d, "               \
    "MostUpdated.RecordCount=%d")                                                                  \
  X(kCannotIndexBlobField, 20295,                                                                  \
    "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please "   \
    "use "                                                                                         \
    "CAST(blob_field, string) function to convert BLOB field to a string expression before "       \
    "indexing.")                                                                                   \
  X(kDatabasePasswordIsInvalid, 20298, "Database password is invalid.")                            \
  X(kUnsupportedDataType, 30007, "Unsupported data type '%s'")                                     \
  X(kNoSequenceLastValue, 30012,                                                                   \
    "No SequenceLastValue in session for sequence '%s'. Call GetNextVal first")                    \
  X(kConstraintMinValue, 30029,                                                                    \
    "Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'")                     \
  X(kConstraintMaxValue, 30030,                                                                    \
    "Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'")                   \
  X(kUnknownConstraintType, 30316, "Unknown Constraint Type: '%d'")                                \
  X(kPrimaryKeyViolated, 30319, "Primary Key constraint '%s' violated. Duplicate found.")          \
  X(kUniqueViolated, 30320, "Constraint unique '%s' violated. Duplicate found.")                   \
  X(kMethodNotOverridden, 30339, "The method '%s' not overrided in class '%s'")                    \
  X(kTableAlreadyExists, 30451, "Table %s already exists")                                         \
  X(kCannotRenameTableIntoItself, 30452, "Cannot rename table '%s' into itself")                   \
  X(kReadOnClosedDatabaseFile, 10459, kDatabaseFileNotOpened)                                      \
  X(kWriteOnClosedDatabaseFile, 10460, kDatabaseFileNotOpened)                                     \
  X(kNextObjectIDOnClosedFile, 30399, kDatabaseFileNotOpened)                                      \
  X(kReadPasswordBlockOnClosedFile, 30436, kDatabaseFileNotOpened)                                 \
  X(kWritePasswordBlockOnClosedFile, 30437, kDatabaseFileNotOpened)                                \
  X(kReadLockBlockOnClosedFile, 30441, kDatabaseFileNotOpened)                                     \
  X(kWriteLockBlockOnClosedFile, 30443, kDatabaseFileNotOpened)                                    \
  X(kCreateDatabaseFileInUse, 10461, kDatabaseFileInUse)                                           \
  X(kOpenDatabaseFileInUse, 10462, kDatabaseFileInUse)                                             \
  X(kWriteFileHeader, 10462, kCannotWriteToFile)                                                   \
  X(kWriteFilePage, 10469, kCannotWriteToFile)                                                     \
  X(kWriteFilePageBytes, 10475, kCannotWriteToFile)                                                \
  X(kWriteFilePageVersion, 20198, kCannotWriteToFile)                                              \
  X(kWriteFileNextObjectID, 30404, kCannotWriteToFile)                                             \
  X(kInitFileNextObjectID, 30406, kCannotWriteToFile)                                              \
  X(kWriteFilePasswordBlock, 30438, kCannotWriteToFile)                                            \
  X(kWriteFileLockBlock, 30444, kCannotWriteToFile)                                                \
  /* The rollback journal of a commit: its writes (header, page records) and the read of a */      \
  /* page image it keeps. */                                                                       \
  X(kWriteCommitJournal, 30561, kCannotWriteToFile)                                                \
  X(kReadPageForJournal, 30562, kCannotReadFromFile)                                               \
  /* A commit met the commit marker of another, unfinished one without a journal to roll it */     \
  /* back: writing over the marker would hide the damage. */                                       \
  X(kCommitOverUnfinishedCommit, 30563,                                                            \
    "Cannot write changes. The database was left in the middle of a commit and needs repair")      \
  X(kReadFileHeader, 10464, kCannotReadFromFile)                                                   \
  X(kReadFilePageBytes, 10474, kCannotReadFromFile)                                                \
  X(kReadFileHeaderForChangeCheck, 20195, kCannotReadFromFile)                                     \
  X(kReadFileNextObjectID, 30400, kCannotReadFromFile)                                             \
  X(kReadFilePasswordBlock, 30439, kCannotReadFromFile)                                            \
  X(kReadFileLockBlockSize, 30442, kCannotReadFromFile)                                            \
  X(kInvalidFileFormat, 10470, "Invalid file format. Found signature: '%s', expected: '%s'")       \
  X(kInvalidPageNo, 10471, "Invalid PageNo = %d")                                                  \
  X(kReadPageOffsetInvalid, 10476, kInvalidPageOffset)                                             \
  X(kWritePageOffsetInvalid, 10477, kInvalidPageOffset)                                            \
  X(kCannotRepairPageIndex, 10512, "Cannot repair page index for large table. Table name: \"%s\"") \
  X(kPageBufferNil, 20038, "Invalid page buffer. Buffer is Nil")                                   \
  X(kInvalidPageModification, 20039, "Invalid page modification")                                  \
  X(kInvalidPage, 20085, "Invalid page")                                                           \
  X(kCannotWriteUsedPage, 20086, "Cannot write used page")                                         \
  X(kInvalidIndexPage, 20087, "Invalid index page")                                                \
  X(kCannotRemoveUsedPage, 20088, "Cannot remove used page")                                       \
  X(kPageIsUsedByOtherSession, 20090, "Page is used by other session")                             \
  X(kUnlockSessionsAfterConnect, 20093, kCannotUnlockSessionsFile)                                 \
  X(kUnlockSessionsAfterDisconnect, 20096, kCannotUnlockSessionsFile)                              \
  X(kUnlockSessionsAfterTakeAll, 20240, kCannotUnlockSessionsFile)                                 \
  X(kUnlockSessionsAfterFreeAll, 20241, kCannotUnlockSessionsFile)                                 \
  X(kCannotConnectSession, 20094,                                                                  \
    "Cannot connect session. Maximum connections quantity exceeded or database is open in "        \
    "single-user mode")                                                                            \
  X(kCannotDisconnectSession, 20095, "Cannot disconnect session")                                  \
  X(kCannotFreeNonCommitedPages, 20097, "Cannot free non-commited pages")                          \
  X(kInvalidNumberOfRecordsOnPage, 20140, "Invalid number of records on page")                     \
  X(kRecordPageFull, 20141, "Cannot add record to page. Page is full")                             \
  X(kRecordNotFoundOnPage, 20143, "Record not found. PageNo=%d, PageRecordCount=%d")               \
  X(kBlobCacheNotReleased, 20150, "Blob cache not released")                                       \
  X(kSomeSessionPagesNotReleased, 20152, "Some session pages not released")                        \
  X(kInvalidPageTypeCorruption, 20153,                                                             \
    "Invalid page type. Possible data corruption. Expecting type %d, but found %d")                \
  X(kInvalidPageTypeFound, 20155, "Invalid PageType found: %d but expecting: %d")                  \
  X(kDirectFileClosed, 20156, kInternalFileClosed)                                                 \
  X(kTransactedFileClosed, 30389, kInternalFileClosed)                                             \
  X(kDirectFileExists, 20157, kInternalFileExists)                                                 \
  X(kTransactedFileExists, 30383, kInternalFileExists)                                             \
  X(kWriteAfterEndOfFile, 20158,                                                                   \
    "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d")                          \
  X(kSeekBeyondFileSize, 20159, "Seek position bigger then file size. FileSize=%d. Position=%d")   \
  X(kInvalidTableHeaderData, 20164, "Invalid table header data")                                   \
  X(kSortedPageListEmpty, 20165, "TSortedPageList.Delete - no elements in array!")                 \
  X(kSortedPageListKeyNotFound, 20166,                                                             \
    "TSortedPageList.Delete - element not found, key = %d, itemCount = %d")                        \
  X(kPageNotFound, 20167, "Page not found")                                                        \
  X(kCannotFindBlobField, 20171, "Cannot find blob field")                                         \
  X(kInvalidBlobFieldID, 20172, "Invalid blob field ID")                                           \
  X(kRecordTooLargeForPage, 20174,                                                                 \
    "Cannot create table. Record is too large to fit in current database page. Please increase "   \
    "page size of database file or decrease record size")                                          \
  X(kInvalidSessionID, 20186, "Invalid Session ID")                                                \
  X(kTableFileCompressionError, 20187, "Table file compression error")                             \
  X(kTableFileDecompressionError, 20189,                                                           \
    "Table file decompression error. Possible table corruption")                                   \
  X(kFileModifiedExternally, 20196,                                                                \
    "Cannot write changes. Database file was modified by external application")                    \
  X(kCannotSetTableLockNoSlot, 20200,                                                              \
    "Cannot set table lock. Try to repair database or to increase number of allowed connections")  \
  X(kTableLockNotFound, 20202, "Cannot remove table lock. Lock not found")                         \
  X(kCannotSetTableLock, 20203, "Cannot set table lock")                                           \
  X(kCannotUnlockTable, 20204, "Cannot unlock table")                                              \
  X(kCannotLockRecord, 20205, "Cannot lock record")                                                \
  X(kCannotUnlockRecord, 20206, "Cannot unlock record")                                            \
  X(kCannotOpenLockedTable, 20209, "Cannot open table '%s'. Table is locked")                      \
  X(kDatabaseTablesAreLocked, 20210, "Database tables are locked")                                 \
  X(kCannotUnlockDatabaseTables, 20211, "Cannot unlock database tables")                           \
  X(kDatabaseLockedForUpdate, 20213, kDatabaseIsLocked)                                            \
  X(kDatabaseLockedForOpen, 20230, kDatabaseIsLocked)                                              \
  X(kDatabaseLockedForAllocate, 20231, kDatabaseIsLocked)                                          \
  X(kDatabaseLockedForFree, 20232, kDatabaseIsLocked)                                              \
  X(kDatabaseLockedForPageCount, 20236, kDatabaseIsLocked)                                         \
  X(kCommitLocksFailed, 20233, "Cannot commit changes. Locks of modified tables failed")           \
  X(kMixedUserModes, 20235,                                                                        \
    "Cannot open database in multi-user and signle-user mode at the same time")                    \
  X(kInvalidDatabaseFormat, 20237, "Invalid database format")                                      \
  X(kExclusiveTableOpenByCursors, 20242,                                                           \
    "Cannot access table '%s' in exclusive mode. Table is open by another cursors")                \
  X(kInvalidBlobFieldSize, 20248, "Invalid blob field size")                                       \
  X(kBlobPageFull, 20290,                                                                          \
    "Cannot add blob. Page is full: BlobCount=%d, BlobOffset=%d, BlobSize=%d, PageDataSize=%d, "   \
    "SizeInBlobPageIndex=%d")                                                                      \
  X(kErrorReadingPage, 20299, "Error reading database file page. Page No: %d, type %d")            \
  X(kErrorGettingTableFilePage, 20300,                                                             \
    "Error getting %d-th table file page. Probably database is corrupted and needs repair.")       \
  X(kCannotCreateFile, 30361, "Cannot create file: '%s' Error code: %d. ErrorMessage: %s")         \
  X(kCannotOpenFile, 30364, "Cannot open file:'%s' Error code: %d. ErrorMessage: %s")              \
  X(kCannotCloseFile, 30365, "Cannot close file:'%s' Error code: %d. ErrorMessage: %s")            \
  X(kUnknownAccessMode, 30366, "Unknown Access mode: '%d'")                                        \
  X(kUnknownShareMode, 30367, "Unknown Share mode: '%d'")                                          \
  X(kCannotTruncateFile, 30370,                                                                    \
    "Cannot Truncate File '%s' to %d bytes. ErrorCode:%d. ErrorMessage: %s")                       \
  X(kCannotGetFileSize, 30371,                                                                     \
    "Cannot Get File Size for file: '%s'. ErrorCode:%d. ErrorMessage: %s")                         \
  X(kCannotSetFilePosition, 30372,                                                                 \
    "Cannot Set File Position to %d. FileName='%s'. FilePosition = %d, FileSize = %d")             \
  X(kCannotGetFilePosition, 30373,                                                                 \
    "Cannot Get File Position. FileName='%s' ErrorCode:%d. ErrorMessage: %s")                      \
  X(kBlankFileName, 30374, "Cannot create file with blank FileName")                               \
  X(kOperationOnClosedFile, 30376, "Cannot perform this operation (%s) on a closed file")          \
  X(kOperationOnOpenedFile, 30377, "Cannot perform this operation (%s) on a opened file")          \
  X(kCannotFlushFile, 30379,                                                                       \
    "Cannot flush file buffers for file: '%s'. ErrorCode:%d. ErrorMessage: %s")                    \
  X(kUnknownPageType, 30382, "Unknown Page Type: (%d)")                                            \
  X(kCannotReadInternalFile, 30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d")         \
  X(kCannotReadInternalFileBytes, 30388,                                                           \
    "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d")                  \
  X(kErrorCreatingSystemDirectory, 30392,                                                          \
    "Error Creating SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d.")                   \
  X(kTableListFileAlreadyOpened, 30393, "Table list file already opened.")                         \
  X(kCannotCreateExistingTable, 30395, "Cannot create table. Table '%s' already exists")           \
  X(kFindTableNotExists, 30396, kTableNotExists)                                                   \
  X(kRenameTableNotExists, 30397, kTableNotExists)                                                 \
  X(kDeleteTableNotExists, 30405, kTableNotExists)                                                 \
  X(kNextObjectIDLocked, 30401, "Cannot get NextObjectID. File area is Locked.")                   \
  X(kSearchMapPageType, 30423, kWrongPageType)                                                     \
  X(kMarkPagePfsType, 30424, kWrongPageType)                                                       \
  X(kUpdateExtentEamType, 30428, kWrongPageType)                                                   \
  X(kIsPageUsedPfsType, 30430, kWrongPageType)                                                     \
  X(kHighestUsedPfsType, 30432, kWrongPageType)                                                    \
  X(kPageAlreadyUsed, 30425, "Page: %d already used")                                              \
  X(kPageAlreadyFree, 30427, "Page: %d already free")                                              \
  X(kPageBeyondFile, 30430, kPageCannotBeAddressed)                                                \
  X(kCannotDeleteMapPage, 30434, "Cannot delete PFS or EAM page. PageNo=%d")                       \
  X(kIncorrectPassword, 30445, "Cannot open database - incorrect password")                        \
  X(kDecryptPageCRCFailed, 30446, "Decrypt page error. Check CRC failed. PageNo: %d")              \
  X(kUnicodeNotSupported, 30046,                                                                   \
    "Unicode is not supported by this version of Windows. The Microsoft Layer for Unicode (file "  \
    "\"unicows.dll\") must be placed in the application's folder.")                                \
  X(kFieldTypeNotSupported, 10499,                                                                 \
    "Table '%s', field '%s': the field's type is not supported by the dataset layer")              \
  X(kCannotConvertDatabase, 20238,                                                                 \
    "Cannot convert database to the new format. Please contact support@wagenlog.example with "     \
    "this issue")                                                                                  \
  /* A stored variant read whole whose size (30481) or bytes (30482) do not fit its type; */       \
  /* 10185 and 10186 are the short reads of those items. */                                        \
  X(kInvalidStoredValueSize, 30481, kInvalidStoredValue)                                           \
  X(kInvalidStoredValueData, 30482, kInvalidStoredValue)                                           \
  /* A declared size (read or given) that no record could hold. */                                 \
  X(kInvalidFieldSize, 30483, "Invalid field size. DataType = %s, Size = %d")                      \
  /* A table whose record would not fit in 2 GB. */                                                \
  X(kRecordSizeTooLarge, 30484, "Record size too large. FieldCount = %d")                          \
  /* A stored field definition whose data type is not the one its field type has: its */           \
  /* values would be read and written with the width of the other type. */                         \
  X(kFieldTypeMismatch, 30486,                                                                     \
    "Invalid field definition '%s'. FieldType = %s, DataType = %s")                                \
  /* The disk page manager refuses a commit that would write a page read as freed or */            \
  /* unreadable (its cached PageVersion is 0x7FFFFFFD or above), before it writes anything. */     \
  X(kPageVersionNotWritable, 20280,                                                                \
    "Cannot write page %d. Its PageVersion %d marks a freed or unreadable page")                   \
  /* An encrypted database's page cannot be enciphered with the password's algorithm */            \
  /* code (a code above 7 enciphers nothing); the page is not written. */                          \
  X(kCannotEncipherPage, 20281, "Cannot encrypt page %d. Unknown crypto algorithm: %d")            \
  /* A database cannot be created with a password whose algorithm code is above 7. */              \
  X(kUnknownCryptoAlgorithm, 20282, "Unknown crypto algorithm: %d")                                \
  /* ---- Hostile files ---- */                                                                    \
  /* A page too small for three entries of the smallest B-tree, refused when a database */         \
  /* is created (before anything is written) and when one is opened. */                            \
  X(kPageSizeTooSmall, 30470,                                                                      \
    "Invalid page size %d. A database page must have at least %d bytes")                           \
  /* A path that is no regular file is refused before it is opened: a named pipe would */          \
  /* make the open wait for a writer. The second argument is one of kPathIs... */                  \
  X(kNotARegularFile, 30471, "Cannot open database file '%s': it is %s, not a regular file")       \
  /* The wrong signature of a file without a single byte. */                                       \
  X(kInvalidFileFormatEmpty, 30485, "Invalid file format. The file is empty")                      \
  /* ---- Copies of a database file (backups) ---- */                                             \
  X(kCopyDatabaseLocked, 30650, "Cannot copy database file '%s'. Database is locked")              \
  X(kCopyNeedsRepair, 30651,                                                                       \
    "Cannot copy database file '%s'. It was left in the middle of a commit and needs repair")      \
  X(kReadFileForCopy, 30652, kCannotReadFromFile)                                                  \
  X(kWriteFileForCopy, 30653, kCannotWriteToFile)                                                  \
  X(kRenameCopy, 30654, "Cannot rename file '%s' to '%s'. ErrorCode:%d. ErrorMessage: %s")         \
  /* ---- Table and record locks ---- */                                                           \
  /* A lock slot file used while closed. */                                                        \
  X(kTableLocksStartPageNil, 10483, kNilPointerOccured)                                            \
  X(kTableLocksFileLockNil, 10489, kNilPointerOccured)                                             \
  X(kTableLocksFileUnlockNil, 10490, kNilPointerOccured)                                           \
  X(kTableLocksKindLockNil, 10491, kNilPointerOccured)                                             \
  X(kTableLocksKindUnlockNil, 10492, kNilPointerOccured)                                           \
  X(kTableLocksKindTestNil, 10493, kNilPointerOccured)                                             \
  X(kTableLocksRecordNil, 10494, kNilPointerOccured)                                               \
  /* A session left with table locks it never released. */                                         \
  X(kTableLocksLeftBySession, 20201, kSomeTableLocksStillExist)                                    \
  /* A commit lock taken for a failed commit could not be released. */                             \
  X(kCommitLocksLeft, 20234, kSomeTableLocksStillExist)                                            \
  /* ---- Record and BLOB pages ---- */                                                            \
  /* Damage and misuse that the page formats of disk tables and BLOBs give no code of their own. */\
  X(kInvalidRecordSlot, 20310, "Invalid record slot. Slot=%d, RecordsPerPage=%d")                  \
  X(kDamagedBlobPage, 20311,                                                                       \
    "Invalid blob page. BlobCount=%d, BlobNo=%d, BlobOffset=%d, PageDataSize=%d")                  \
  X(kDamagedBlobPageList, 20312,                                                                   \
    "Invalid blob page list. DataLength=%d, PageCount=%d, Offset=%d, PageDataSize=%d")             \
  X(kWriteMetadataPageNo, 20313, kCannotWriteToStream)                                             \
  X(kReadMetadataPageNo, 20314, kCannotReadFromStream)                                             \
  /* ---- Table data ---- */                                                                       \
  X(kTableNoFields, 10131, kNoFieldsSpecified)                                                     \
  X(kTableCreateNoFields, 20128, kNoFieldsSpecified)                                               \
  X(kTableNoRecordManager, 10015, kNilPointerOccured)                                              \
  X(kTableNoIndexManager, 10380, kNilPointerOccured)                                               \
  X(kTableLocateNilPointer, 10272, kNilPointerOccured)                                             \
  X(kRecordBitmapWithoutTable, 10425, kNilPointerOccured)                                          \
  X(kTableRenameFieldMissing, 30343, kFieldNotFound)                                               \
  X(kTableRenameFieldTaken, 30344, kCannotRenameFieldExists)                                       \
  X(kTableConstraintTypeNotImplemented, 30058, kNotImplementedYet)                                 \
  X(kConstraintFieldNumberMissing, 30024, kFieldNumberNotFound)                                    \
  X(kConstraintNotNullViolated, 30026, kConstraintNotNull)                                         \
  X(kConstraintTargetFieldMissing, 30027, kFieldNotFound)                                          \
  X(kConstraintCheckNotImplemented, 30036, kNotImplementedYet)                                     \
  X(kConstraintResolveNotImplemented, 30037, kNotImplementedYet)                                   \
  X(kConstraintNamingNotImplemented, 30038, kNotImplementedYet)                                    \
  X(kConstraintPrimaryIndexMissing, 30325, kNamedIndexNotFound)                                    \
  X(kConstraintUniqueIndexMissing, 30326, kNamedIndexNotFound)                                     \
  X(kConstraintPrimaryKeyNull, 30330, kConstraintNotNull)                                          \
  X(kConstraintPrimaryFieldMissing, 30331, kFieldNotFound)                                         \
  X(kConstraintUniqueFieldMissing, 30332, kFieldNotFound)                                          \
  /* ---- Disk tables ---- */                                                                      \
  X(kInsertNoRecordManager, 20135, kNilPointerOccured)                                             \
  X(kInsertNoBuffer, 20136, kNilPointerOccured)                                                    \
  X(kDeleteNoRecordManager, 20137, kNilPointerOccured)                                             \
  X(kUpdateNoRecordManager, 20138, kNilPointerOccured)                                             \
  X(kUpdateNoBuffer, 20139, kNilPointerOccured)                                                    \
  X(kPhysicalRecordNotFound, 20146, kRecordNotFound)                                               \
  X(kTableHeaderFileNil, 20176, kPointerIsNil)                                                     \
  X(kExclusiveOpenByAnotherUser, 20208, kExclusiveTableOpenByUser)                                 \
  X(kLocateTableLocked, 20214, kTableIsLocked)                                                     \
  X(kFindKeyTableLocked, 20215, kTableIsLocked)                                                    \
  X(kSetRecNoTableLocked, 20216, kTableIsLocked)                                                   \
  X(kGetRecNoTableLocked, 20217, kTableIsLocked)                                                   \
  X(kRecordCountTableLocked, 20218, kTableIsLocked)                                                \
  X(kSetPhysicalRecNoTableLocked, 20219, kTableIsLocked)                                           \
  X(kGetPhysicalRecNoTableLocked, 20220, kTableIsLocked)                                           \
  X(kDiskConstraintTypeNotImplemented, 30040, kNotImplementedYet)                                  \
  /* ---- Session and cursor ---- */                                                               \
  /* A visible field number beyond the cursor's fields. */                                         \
  X(kCursorGetFieldDataNumber, 10005, kInvalidFieldNumber)                                         \
  X(kCursorSetFieldDataNumber, 10006, kInvalidFieldNumber)                                         \
  X(kCursorGetFieldValueNumber, 10317, kInvalidFieldNumber)                                        \
  X(kCursorSetFieldValueNumber, 20191, kInvalidFieldNumber)                                        \
  X(kOpenBlobFieldNumber, 10110, kInvalidFieldNumber)                                              \
  X(kCloseBlobFieldNumber, 10118, kInvalidFieldNumber)                                             \
  X(kCopyFieldSourceNumber, 10501, kInvalidFieldNumber)                                            \
  X(kCopyFieldTargetNumber, 10502, kInvalidFieldNumber)                                            \
  /* A table missing from the database, or no table data for it. */                                \
  X(kDeleteTableMissing, 20132, kTableNotFound)                                                    \
  X(kEmptyTableMissing, 20133, kTableNotFound)                                                     \
  X(kRenameTableMissing, 20134, kTableNotFound)                                                    \
  X(kDeleteTableNoData, 10027, kTableNameNotFound)                                                 \
  X(kOpenTableNoData, 10028, kTableNameNotFound)                                                   \
  X(kEmptyTableNoData, 10073, kTableNameNotFound)                                                  \
  X(kRenameTableNoData, 10151, kTableNameNotFound)                                                 \
  X(kCreateTableNoData, 20151, kPointerIsNil)                                                      \
  X(kLockTableNoData, 20221, kPointerIsNil)                                                        \
  X(kUnlockTableNoData, 20222, kPointerIsNil)                                                      \
  X(kCursorLockNoData, 10260, kNilPointerOccured)                                                  \
  X(kCursorUnlockNoData, 10261, kNilPointerOccured)                                                \
  /* A BLOB stream opened for reading. */                                                          \
  X(kWriteReadOnlyBlobStream, 10115, kCannotWriteToReadOnlyStream)                                 \
  X(kResizeReadOnlyBlobStream, 10116, kCannotWriteToReadOnlyStream)                                \
  /* ---- Disk BLOB storage ---- */                                                               \
  X(kBlobStreamBlockSizeZero, 20149, kStreamBlockSizeZero)                                         \
  X(kCannotOpenBlobValue, 20162, kCannotReadBLOBFieldValue)                                        \
  X(kCannotGetBlobData, 20291, kCannotReadBLOBFieldValue)                                          \
  /* Moving a value's compressed form between its stream and its cache entry. */                  \
  X(kSeekBlobValueForm, 20320, kCannotSetStreamPosition)                                           \
  X(kReadBlobValueForm, 20321, kCannotReadFromStream)                                              \
  X(kWriteBlobValueForm, 20322, kCannotWriteToStream)                                              \
  /* A stored value whose compressed blocks do not lie back to back up to its end. */             \
  X(kDamagedBlobValue, 20323, "Invalid blob value. DataLength=%d, BlockOffset=%d")                 \
  /* A BLOB stream handed back that the disk BLOB storage did not open. */                        \
  X(kNotABlobValueStream, 20324, kInvalidPointer)                                              \
  /* A debug build's check of a stated invariant failed (engine/foundation/invariants.h). */     \
  X(kInvariantBroken, 20390, "Internal error: %s")                                                 \
  /* ---- Database component ---- */                                                              \
  /* The table operations' index definitions: AddIndex, then CreateTable. */                     \
  X(kAddIndexNameInvalid, 20046, kInvalidIndexName)                                                \
  X(kAddIndexFieldsEmpty, 20047, kCannotFindIndexField)                                            \
  X(kCreateTableIndexNameInvalid, 20048, kInvalidIndexName)                                        \
  X(kCreateTableIndexFieldsEmpty, 20049, kCannotFindIndexField)                                    \
  X(kCreateTableIndexFieldUnknown, 20050, kCannotFindIndexField)                                   \
  /* A table operation refused while the database is within a transaction. */                     \
  X(kAddIndexInTransaction, 20175, kOperationInTransaction)                                        \
  X(kDeleteIndexInTransaction, 20177, kOperationInTransaction)                                     \
  X(kRenameFieldInTransaction, 20179, kOperationInTransaction)                                     \
  X(kRestructureTableInTransaction, 20180, kOperationInTransaction)                                \
  X(kRenameTableInTransaction, 20181, kOperationInTransaction)                                     \
  X(kCreateTableInTransaction, 20182, kOperationInTransaction)                                     \
  X(kDeleteTableInTransaction, 20183, kOperationInTransaction)                                     \
  X(kAddIndexTableInUse, 20228, kExclusiveTableOpenByUser)                                         \
  /* Copying a table: a table of the target's name exists already. */                             \
  X(kCopyTableAlreadyExists, 30448, kQualifiedTableAlreadyExists)                                 \
  /* ---- Table dataset ---- */                                                                    \
  X(kDatasetFieldWriteState, 10007, kDatasetNotInEditOrInsertMode)                                 \
  X(kDatasetBlobWriteState, 10111, kDatasetNotInEditOrInsertMode)                                  \
  X(kDatasetPostNotOpened, 10029, kDatasetIsNotOpened)                                             \
  X(kDatasetDeleteNotOpened, 10068, kDatasetIsNotOpened)                                           \
  X(kDatasetAddNotOpened, 10075, kDatasetIsNotOpened)                                              \
  X(kDatasetPostWrongState, 10030, kDatasetNotInInsertOrEditMode)                                  \
  X(kDatasetAddWrongState, 10076, kDatasetNotInInsertOrEditMode)                                   \
  X(kDatasetPostReadOnly, 10032, kDatasetIsInReadOnlyMode)                                         \
  X(kDatasetDeleteReadOnly, 10069, kDatasetIsInReadOnlyMode)                                       \
  X(kDatasetAddReadOnly, 10077, kDatasetIsInReadOnlyMode)                                          \
  X(kDatasetBlobReadOnly, 10107, kDatasetIsInReadOnlyMode)                                         \
  X(kDatabaseWriteReadOnly, 10106, kDatasetIsInReadOnlyMode)

#define QDX_DEFINE_MESSAGE(name, code, text) inline constexpr Message name{code, text};
QDX_ENGINE_MESSAGES(QDX_DEFINE_MESSAGE)
#undef QDX_DEFINE_MESSAGE

// The application's window framework. (The program's own texts and those of the qdx utility
// live with them, above the engine.)
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
// The floating-point faults of the program's arithmetic.
inline constexpr const char* kFloatingPointDivisionByZero = "Floating point division by zero";
inline constexpr const char* kInvalidFloatingPointOperation = "Invalid floating point operation";
// The data-aware controls: the navigator's and the grid's question before deleting.
inline constexpr const char* kDeleteRecordQuestion = "Delete record?";

// The dataset result texts of EQDXEngineError.
inline constexpr const char* kEngineErrorPrefix = "Quendrix Engine Error # ";
// Appended by a format that does not fit its arguments.
inline constexpr const char* kArgumentsAreInvalid = " Arguments are invalid!";
// Closes every EQDXException message, followed by the code.
inline constexpr const char* kNativeErrorSuffix = " - Native error: ";

// The message of ECipherException 3 (the cipher's class name); not an engine error.
inline constexpr const char* kCipherNotInitialized =
    "%s is not initialized call Init() or InitKey() before.";

// ---- Hostile files ----
// What a path that is no regular file names, in kNotARegularFile.
inline constexpr const char* kPathIsDirectory = "a directory";
inline constexpr const char* kPathIsFifo = "a named pipe";
inline constexpr const char* kPathIsCharacterDevice = "a character device";
inline constexpr const char* kPathIsBlockDevice = "a block device";
inline constexpr const char* kPathIsSocket = "a socket";
inline constexpr const char* kPathIsOther = "a special file";

// ---- Expressions ----
// Filter texts, Locate conditions and default-value expressions (engine/core/expr). A position
// counts the characters of the text from 1. X(name, code, text) as in QDX_ENGINE_MESSAGES.
#define QDX_EXPRESSION_MESSAGES(X)                                                                 \
  X(kExprExpected, 30600, "Filter expression error at position %d: expected %s, found %s")         \
  X(kExprUnknownField, 30601, "Filter expression error at position %d: field '%s' not found")      \
  X(kExprTooDeep, 30602, "Filter expression error at position %d: nested deeper than %d levels")   \
  X(kExprCannotApply, 30603, "Filter expression error at position %d: %s cannot be applied to %s") \
  X(kExprCannotCompare, 30604,                                                                     \
    "Filter expression error at position %d: cannot compare %s with %s")                           \
  X(kExprInvalidValue, 30605,                                                                      \
    "Filter expression error at position %d: '%s' is not a valid %s value")                        \
  X(kExprUnknownFunction, 30606, "Filter expression error at position %d: unknown function '%s'")  \
  X(kExprFieldNotUsable, 30607,                                                                    \
    "Filter expression error at position %d: field '%s' of type %s has no value to compare")       \
  X(kLocateFieldNotFound, 30608, kFieldNotFound)                                                   \
  X(kLocateCountMismatch, 30112, "Count of FieldNames (%d) not equal counts of KeyValues (%d)")

#define QDX_DEFINE_MESSAGE(name, code, text) inline constexpr Message name{code, text};
QDX_EXPRESSION_MESSAGES(QDX_DEFINE_MESSAGE)
#undef QDX_DEFINE_MESSAGE

}  // namespace qdx::msg
