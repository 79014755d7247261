// The PostgreSQL client library is loaded when a PostgreSQL server is first used, not at every
// program start: libpq brings about twenty more libraries with it (Kerberos, LDAP, GnuTLS ...)
// that a program reading SQLite files would map and relocate for nothing. Each libpq function
// the host calls is defined here with libpq's own declaration (libpq-fe.h, so the compiler
// checks the signatures) and forwards to the library's, found on its first call.
#include <libpq-fe.h>

#include "host/library_on_use.h"

namespace tabulo::host::pg {
namespace {

void* Function(const char* name) {
  static LibraryOnUse library("libpq.so.5", "The PostgreSQL client library", "libpq5",
                              "PostgreSQL servers");
  return library.Function(name);
}

}  // namespace
}  // namespace tabulo::host::pg

// Defines NAME(PARAMS) returning RET as a call of the library's NAME with ARGS.
#define TABULO_LIBPQ(RET, NAME, PARAMS, ARGS)                                                     \
  RET NAME PARAMS {                                                                               \
    static auto* const real = reinterpret_cast<RET(*) PARAMS>(tabulo::host::pg::Function(#NAME)); \
    return real ARGS;                                                                             \
  }

extern "C" {
TABULO_LIBPQ(PGconn*, PQconnectdbParams,
             (const char* const* keywords, const char* const* values, int expand_dbname),
             (keywords, values, expand_dbname))
TABULO_LIBPQ(void, PQfinish, (PGconn * conn), (conn))
TABULO_LIBPQ(ConnStatusType, PQstatus, (const PGconn* conn), (conn))
TABULO_LIBPQ(PGTransactionStatusType, PQtransactionStatus, (const PGconn* conn), (conn))
TABULO_LIBPQ(const char*, PQparameterStatus, (const PGconn* conn, const char* paramName),
             (conn, paramName))
TABULO_LIBPQ(char*, PQerrorMessage, (const PGconn* conn), (conn))
TABULO_LIBPQ(PGresult*, PQexec, (PGconn * conn, const char* query), (conn, query))
TABULO_LIBPQ(PGresult*, PQexecParams,
             (PGconn * conn, const char* command, int nParams, const Oid* paramTypes,
              const char* const* paramValues, const int* paramLengths, const int* paramFormats,
              int resultFormat),
             (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
              resultFormat))
TABULO_LIBPQ(PGresult*, PQprepare,
             (PGconn * conn, const char* stmtName, const char* query, int nParams,
              const Oid* paramTypes),
             (conn, stmtName, query, nParams, paramTypes))
TABULO_LIBPQ(PGresult*, PQexecPrepared,
             (PGconn * conn, const char* stmtName, int nParams, const char* const* paramValues,
              const int* paramLengths, const int* paramFormats, int resultFormat),
             (conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat))
TABULO_LIBPQ(PGresult*, PQdescribePrepared, (PGconn * conn, const char* stmt), (conn, stmt))
TABULO_LIBPQ(int, PQsendQuery, (PGconn * conn, const char* query), (conn, query))
TABULO_LIBPQ(int, PQsendQueryPrepared,
             (PGconn * conn, const char* stmtName, int nParams, const char* const* paramValues,
              const int* paramLengths, const int* paramFormats, int resultFormat),
             (conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat))
TABULO_LIBPQ(int, PQsetSingleRowMode, (PGconn * conn), (conn))
TABULO_LIBPQ(int, PQsendQueryParams,
             (PGconn * conn, const char* command, int nParams, const Oid* paramTypes,
              const char* const* paramValues, const int* paramLengths, const int* paramFormats,
              int resultFormat),
             (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats,
              resultFormat))
TABULO_LIBPQ(int, PQsendPrepare,
             (PGconn * conn, const char* stmtName, const char* query, int nParams,
              const Oid* paramTypes),
             (conn, stmtName, query, nParams, paramTypes))
TABULO_LIBPQ(int, PQsendDescribePrepared, (PGconn * conn, const char* stmt), (conn, stmt))
TABULO_LIBPQ(int, PQenterPipelineMode, (PGconn * conn), (conn))
TABULO_LIBPQ(int, PQexitPipelineMode, (PGconn * conn), (conn))
TABULO_LIBPQ(int, PQpipelineSync, (PGconn * conn), (conn))
TABULO_LIBPQ(PGresult*, PQgetResult, (PGconn * conn), (conn))
TABULO_LIBPQ(int, PQgetCopyData, (PGconn * conn, char** buffer, int async), (conn, buffer, async))
TABULO_LIBPQ(PGcancel*, PQgetCancel, (PGconn * conn), (conn))
TABULO_LIBPQ(void, PQfreeCancel, (PGcancel * cancel), (cancel))
TABULO_LIBPQ(int, PQcancel, (PGcancel * cancel, char* errbuf, int errbufsize),
             (cancel, errbuf, errbufsize))
TABULO_LIBPQ(ExecStatusType, PQresultStatus, (const PGresult* res), (res))
TABULO_LIBPQ(char*, PQresultErrorField, (const PGresult* res, int fieldcode), (res, fieldcode))
TABULO_LIBPQ(int, PQntuples, (const PGresult* res), (res))
TABULO_LIBPQ(int, PQnfields, (const PGresult* res), (res))
TABULO_LIBPQ(char*, PQfname, (const PGresult* res, int field_num), (res, field_num))
TABULO_LIBPQ(Oid, PQftype, (const PGresult* res, int field_num), (res, field_num))
TABULO_LIBPQ(int, PQfmod, (const PGresult* res, int field_num), (res, field_num))
TABULO_LIBPQ(char*, PQgetvalue, (const PGresult* res, int tup_num, int field_num),
             (res, tup_num, field_num))
TABULO_LIBPQ(int, PQgetlength, (const PGresult* res, int tup_num, int field_num),
             (res, tup_num, field_num))
TABULO_LIBPQ(int, PQgetisnull, (const PGresult* res, int tup_num, int field_num),
             (res, tup_num, field_num))
TABULO_LIBPQ(char*, PQcmdStatus, (PGresult * res), (res))
TABULO_LIBPQ(char*, PQcmdTuples, (PGresult * res), (res))
TABULO_LIBPQ(void, PQclear, (PGresult * res), (res))
TABULO_LIBPQ(void, PQfreemem, (void* ptr), (ptr))
TABULO_LIBPQ(unsigned char*, PQunescapeBytea, (const unsigned char* strtext, size_t* retbuflen),
             (strtext, retbuflen))
}
