// The ODBC data server: DataServer over the data sources of the unixODBC driver manager
// (ServerType 0). Source is a data source name of the driver manager (odbc.ini, the file
// ODBCINI names, or the system one ODBCSYSINI's folder holds); User and Password, when given,
// are passed to the driver as UID and PWD, else the data source's own login is used.
// Driver failures map to the data server's numbers by SQLSTATE (odbc_handles.h).
//
// Sessions. A PostgreSQL data source's session (SQL_DBMS_NAME "PostgreSQL") is set to
// standard_conforming_strings on before anything runs, so a backslash in a literal is an
// ordinary character whatever the role or database sets; one that does not then hold it and
// client_encoding UTF8 (the Unicode driver's) is refused with 0x80004005.
// A statement that asks for rows (first word SELECT, VALUES, TABLE or WITH) runs on a
// read-only session: PostgreSQL refuses its writes (SELECT ... INTO, a function that changes
// rows) and SQLite's query_only its writes (WITH ... DELETE ... RETURNING), with 0x80040E14
// and the database's message; on other databases such a statement that yields no rows is
// refused and rolled back. The rows of any statement are read in a transaction that is
// rolled back.
// Queries run once; their rows are read into the record set's own store (odbc_row_source.h),
// so the record set holds no connection and no transaction while it is browsed: its values
// are the snapshot the driver delivered.
// Writes: a statement without result columns runs with autocommit off, in one transaction,
// committed only when the driver succeeded; an UPDATE or DELETE that changes no row or more than
// one is rolled back and refused with 0x80040E38. A call the driver ran as several statements
// is rolled back and refused with 0x80040E14, as the embedded server refuses it. Date and time
// escapes are the driver's. Result names a data source folded to one case take the statement's
// spelling ("SELECT Id" yields "Id", also from PostgreSQL).
//
// NewDataSourceRouter serves ServerType 0 from the embedded server or from this one: a source
// the embedded server knows (a data source of the host configuration, an existing file) stays
// there; another one that the driver manager lists comes here.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/data_server.h"

namespace tabulo::host::odbc {

struct OdbcServerOptions {
  std::string machine_name = "localhost";
  // Where results beyond the memory bound are stored; empty: this user's private default.
  std::filesystem::path temp_folder;
  // Bytes of a result kept in memory before it moves to a store file.
  size_t memory_bound = 4 << 20;
};

std::shared_ptr<DataServer> NewOdbcDataServer(OdbcServerOptions options);

// The data source names of the driver manager, user and system ones, in its order, each once.
std::vector<std::string> OdbcDataSourceNames();

// "DSN=<name>[;UID=<user>][;PWD=<password>]", values in braces where they need them.
std::string ConnectionString(std::string_view dsn, std::string_view user,
                             std::string_view password);

// ServerType 0 through `local` when `is_local(source)` or when the driver manager does not
// list the source, else through `odbc`; any other type through `local`. ListCatalogs lists the
// local names, then the driver manager's names not among them.
std::shared_ptr<DataServer> NewDataSourceRouter(std::shared_ptr<DataServer> local,
                                                std::shared_ptr<DataServer> odbc,
                                                std::function<bool(std::string_view)> is_local);

}  // namespace tabulo::host::odbc
