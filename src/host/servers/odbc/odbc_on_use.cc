// The ODBC driver manager is loaded when an ODBC data source is first used, not at every
// program start. Each driver manager function the host calls is defined here with its own
// declaration (sql.h, sqlext.h: the compiler checks the signatures) and forwards to the
// library's, found on its first call.
#include <sql.h>
#include <sqlext.h>

#include "host/library_on_use.h"

namespace tabulo::host::odbc {
namespace {

void* Function(const char* name) {
  static LibraryOnUse library("libodbc.so.2", "The ODBC driver manager", "libodbc2",
                              "ODBC data sources");
  return library.Function(name);
}

}  // namespace
}  // namespace tabulo::host::odbc

// Defines NAME(PARAMS) as a call of the driver manager's NAME with ARGS.
#define TABULO_ODBC(NAME, PARAMS, ARGS)                                                    \
  SQLRETURN SQL_API NAME PARAMS {                                                          \
    static auto* const real =                                                              \
        reinterpret_cast<SQLRETURN(SQL_API*) PARAMS>(tabulo::host::odbc::Function(#NAME)); \
    return real ARGS;                                                                      \
  }

extern "C" {
TABULO_ODBC(SQLAllocHandle, (SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output),
            (type, input, output))
TABULO_ODBC(SQLFreeHandle, (SQLSMALLINT type, SQLHANDLE handle), (type, handle))
TABULO_ODBC(SQLSetEnvAttr, (SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length),
            (env, attribute, value, length))
TABULO_ODBC(SQLSetConnectAttr,
            (SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length),
            (dbc, attribute, value, length))
TABULO_ODBC(SQLDriverConnect,
            (SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT in_length, SQLCHAR* out,
             SQLSMALLINT out_max, SQLSMALLINT* out_length, SQLUSMALLINT completion),
            (dbc, window, in, in_length, out, out_max, out_length, completion))
TABULO_ODBC(SQLDisconnect, (SQLHDBC dbc), (dbc))
TABULO_ODBC(SQLEndTran, (SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion),
            (type, handle, completion))
TABULO_ODBC(SQLGetInfo,
            (SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
             SQLSMALLINT* length),
            (dbc, type, value, max, length))
TABULO_ODBC(SQLDataSources,
            (SQLHENV env, SQLUSMALLINT direction, SQLCHAR* name, SQLSMALLINT name_max,
             SQLSMALLINT* name_length, SQLCHAR* description, SQLSMALLINT description_max,
             SQLSMALLINT* description_length),
            (env, direction, name, name_max, name_length, description, description_max,
             description_length))
TABULO_ODBC(SQLExecDirect, (SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length), (stmt, text, length))
TABULO_ODBC(SQLMoreResults, (SQLHSTMT stmt), (stmt))
TABULO_ODBC(SQLNumResultCols, (SQLHSTMT stmt, SQLSMALLINT* count), (stmt, count))
TABULO_ODBC(SQLRowCount, (SQLHSTMT stmt, SQLLEN* count), (stmt, count))
TABULO_ODBC(SQLDescribeCol,
            (SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT name_max,
             SQLSMALLINT* name_length, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
             SQLSMALLINT* nullable),
            (stmt, column, name, name_max, name_length, type, size, digits, nullable))
TABULO_ODBC(SQLColAttribute,
            (SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
             SQLSMALLINT text_max, SQLSMALLINT* text_length, SQLLEN* number),
            (stmt, column, field, text, text_max, text_length, number))
TABULO_ODBC(SQLFetch, (SQLHSTMT stmt), (stmt))
TABULO_ODBC(SQLGetData,
            (SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER value, SQLLEN max,
             SQLLEN* length),
            (stmt, column, type, value, max, length))
TABULO_ODBC(SQLGetDiagRec,
            (SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
             SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT text_max, SQLSMALLINT* text_length),
            (type, handle, record, state, native, text, text_max, text_length))
TABULO_ODBC(SQLTables,
            (SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalog_length, SQLCHAR* schema,
             SQLSMALLINT schema_length, SQLCHAR* table, SQLSMALLINT table_length, SQLCHAR* type,
             SQLSMALLINT type_length),
            (stmt, catalog, catalog_length, schema, schema_length, table, table_length, type,
             type_length))
}
