// The OCI base types, handle kinds and constants the engine uses, declared
// from the published interface. The values are those of the vendor's client,
// since the same engine runs against it.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint8_t ub1;
typedef std::int8_t sb1;
typedef std::uint16_t ub2;
typedef std::int16_t sb2;
typedef std::uint32_t ub4;
typedef std::int32_t sb4;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char OraText;
typedef void dvoid;

// Opaque handles and descriptors; only pointers to them cross the interface.
struct OCIEnv;
struct OCIError;
struct OCIServer;
struct OCISvcCtx;
struct OCISession;
struct OCIStmt;
struct OCIDefine;
struct OCIBind;
struct OCIParam;
struct OCISnapshot;
struct OCILobLocator;
struct OCIDateTime;

typedef sb4 (*OCICallbackLobRead)(void* ctxp, const void* bufp, ub4 len, ub1 piece);
typedef sb4 (*OCICallbackLobWrite)(void* ctxp, void* bufp, ub4* lenp, ub1* piece);

// The OCI date structure (SQLT_ODT).
struct OCITime {
  ub1 OCITimeHH;
  ub1 OCITimeMI;
  ub1 OCITimeSS;
};
struct OCIDate {
  sb2 OCIDateYYYY;
  ub1 OCIDateMM;
  ub1 OCIDateDD;
  OCITime OCIDateTime;
};

// Return codes.
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NEED_DATA = 99;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;
constexpr sword OCI_STILL_EXECUTING = -3123;
constexpr sword OCI_CONTINUE = -24200;

// Modes.
constexpr ub4 OCI_DEFAULT = 0x00;
constexpr ub4 OCI_THREADED = 0x01;
constexpr ub4 OCI_OBJECT = 0x02;

// Handle types.
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;
constexpr ub4 OCI_HTYPE_BIND = 5;
constexpr ub4 OCI_HTYPE_DEFINE = 6;
constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
constexpr ub4 OCI_HTYPE_SERVER = 8;
constexpr ub4 OCI_HTYPE_SESSION = 9;

// Descriptor types.
constexpr ub4 OCI_DTYPE_LOB = 50;
constexpr ub4 OCI_DTYPE_SNAP = 51;
constexpr ub4 OCI_DTYPE_PARAM = 53;
constexpr ub4 OCI_DTYPE_ROWID = 54;
constexpr ub4 OCI_DTYPE_FILE = 56;
constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
constexpr ub4 OCI_DTYPE_DATE = 65;
constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;

// Attributes. The numbers overlap between handle kinds on purpose: each
// kind reads its own list.
constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
constexpr ub4 OCI_ATTR_DISP_SIZE = 3;
constexpr ub4 OCI_ATTR_NAME = 4;
constexpr ub4 OCI_ATTR_PRECISION = 5;
constexpr ub4 OCI_ATTR_SCALE = 6;
constexpr ub4 OCI_ATTR_IS_NULL = 7;
constexpr ub4 OCI_ATTR_SERVER = 6;
constexpr ub4 OCI_ATTR_SESSION = 7;
constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;
constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;
constexpr ub4 OCI_ATTR_USERNAME = 22;
constexpr ub4 OCI_ATTR_PASSWORD = 23;
constexpr ub4 OCI_ATTR_STMT_TYPE = 24;
constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
constexpr ub4 OCI_ATTR_ROWS_FETCHED = 197;

// Credentials.
constexpr ub4 OCI_CRED_RDBMS = 1;
constexpr ub4 OCI_CRED_EXT = 2;

// Statement syntax.
constexpr ub4 OCI_NTV_SYNTAX = 1;
constexpr ub4 OCI_V7_SYNTAX = 2;
constexpr ub4 OCI_V8_SYNTAX = 3;

// Statement types (OCI_ATTR_STMT_TYPE).
constexpr ub2 OCI_STMT_UNKNOWN = 0;
constexpr ub2 OCI_STMT_SELECT = 1;
constexpr ub2 OCI_STMT_UPDATE = 2;
constexpr ub2 OCI_STMT_DELETE = 3;
constexpr ub2 OCI_STMT_INSERT = 4;
constexpr ub2 OCI_STMT_CREATE = 5;
constexpr ub2 OCI_STMT_DROP = 6;
constexpr ub2 OCI_STMT_ALTER = 7;
constexpr ub2 OCI_STMT_BEGIN = 8;
constexpr ub2 OCI_STMT_DECLARE = 9;
constexpr ub2 OCI_STMT_CALL = 10;
constexpr ub2 OCI_STMT_MERGE = 16;

// Execute modes.
constexpr ub4 OCI_BATCH_MODE = 0x01;
constexpr ub4 OCI_EXACT_FETCH = 0x02;
constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;
constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
constexpr ub4 OCI_BATCH_ERRORS = 0x80;
constexpr ub4 OCI_PARSE_ONLY = 0x100;

// Fetch orientations.
constexpr ub2 OCI_FETCH_CURRENT = 0x01;
constexpr ub2 OCI_FETCH_NEXT = 0x02;
constexpr ub2 OCI_FETCH_FIRST = 0x04;
constexpr ub2 OCI_FETCH_LAST = 0x08;
constexpr ub2 OCI_FETCH_PRIOR = 0x10;
constexpr ub2 OCI_FETCH_ABSOLUTE = 0x20;
constexpr ub2 OCI_FETCH_RELATIVE = 0x40;

// LOB pieces and character set forms.
constexpr ub1 OCI_ONE_PIECE = 0;
constexpr ub1 OCI_FIRST_PIECE = 1;
constexpr ub1 OCI_NEXT_PIECE = 2;
constexpr ub1 OCI_LAST_PIECE = 3;
constexpr ub1 SQLCS_IMPLICIT = 1;
constexpr ub1 SQLCS_NCHAR = 2;

// Character set ids.
constexpr ub2 OCI_UTF16ID = 1000;
constexpr ub2 OCI_UTF8ID = 873;

// Data type codes: internal types as described, external types as defined
// and bound.
constexpr ub2 SQLT_CHR = 1;
constexpr ub2 SQLT_NUM = 2;
constexpr ub2 SQLT_INT = 3;
constexpr ub2 SQLT_FLT = 4;
constexpr ub2 SQLT_STR = 5;
constexpr ub2 SQLT_VNU = 6;
constexpr ub2 SQLT_PDN = 7;
constexpr ub2 SQLT_LNG = 8;
constexpr ub2 SQLT_VCS = 9;
constexpr ub2 SQLT_RID = 11;
constexpr ub2 SQLT_DAT = 12;
constexpr ub2 SQLT_VBI = 15;
constexpr ub2 SQLT_BFLOAT = 21;
constexpr ub2 SQLT_BDOUBLE = 22;
constexpr ub2 SQLT_BIN = 23;
constexpr ub2 SQLT_LBI = 24;
constexpr ub2 SQLT_UIN = 68;
constexpr ub2 SQLT_LVC = 94;
constexpr ub2 SQLT_LVB = 95;
constexpr ub2 SQLT_AFC = 96;
constexpr ub2 SQLT_AVC = 97;
constexpr ub2 SQLT_IBFLOAT = 100;
constexpr ub2 SQLT_IBDOUBLE = 101;
constexpr ub2 SQLT_RDD = 104;
constexpr ub2 SQLT_NTY = 108;
constexpr ub2 SQLT_CLOB = 112;
constexpr ub2 SQLT_BLOB = 113;
constexpr ub2 SQLT_BFILEE = 114;
constexpr ub2 SQLT_ODT = 156;
constexpr ub2 SQLT_DATE = 184;
constexpr ub2 SQLT_TIMESTAMP = 187;
constexpr ub2 SQLT_TIMESTAMP_TZ = 188;
constexpr ub2 SQLT_INTERVAL_YM = 189;
constexpr ub2 SQLT_INTERVAL_DS = 190;
constexpr ub2 SQLT_TIMESTAMP_LTZ = 232;
