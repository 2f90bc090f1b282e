// The FreeTDS ODBC driver's entry points, loaded from the driver library
// itself rather than through the driver manager.
//
// Why: unixODBC's driver manager answers SQLMoreResults with SQL_NO_DATA once
// SQLExecDirect has returned SQL_ERROR, without asking the driver, so a batch
// whose first statement fails would hide every later result the server sent.
// The tests must see the whole reply; talking to the driver directly does.
// (The isql test still goes through the driver manager.)
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace standin::integration {

struct OdbcDriver {
  SQLRETURN (*AllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
  SQLRETURN (*FreeHandle)(SQLSMALLINT, SQLHANDLE);
  SQLRETURN (*SetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN (*SetConnectAttr)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN(*DriverConnect)
  (SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT);
  SQLRETURN (*Disconnect)(SQLHDBC);
  SQLRETURN(*GetDiagRec)
  (SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*);
  SQLRETURN (*SetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN (*ExecDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
  SQLRETURN (*Prepare)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
  SQLRETURN (*Execute)(SQLHSTMT);
  SQLRETURN (*NumResultCols)(SQLHSTMT, SQLSMALLINT*);
  SQLRETURN(*DescribeCol)
  (SQLHSTMT, SQLUSMALLINT, SQLCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*,
   SQLSMALLINT*, SQLSMALLINT*);
  SQLRETURN(*ColAttribute)
  (SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, SQLLEN*);
  SQLRETURN (*Fetch)(SQLHSTMT);
  SQLRETURN (*GetData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*RowCount)(SQLHSTMT, SQLLEN*);
  SQLRETURN (*MoreResults)(SQLHSTMT);
  SQLRETURN(*BindParameter)
  (SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, SQLPOINTER,
   SQLLEN, SQLLEN*);
  SQLRETURN (*EndTran)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
};

// Loads the driver once ($BW_FREETDS_ODBC_DRIVER, else the library found at
// configure time); throws std::runtime_error when it cannot.
const OdbcDriver& Driver();

}  // namespace standin::integration
