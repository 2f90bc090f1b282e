#include "OdbcDriver.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace standin::integration {
namespace {

template <typename Function>
void Resolve(void* library, const char* name, Function& function) {
  void* symbol = ::dlsym(library, name);
  if (!symbol) throw std::runtime_error(std::string("the ODBC driver lacks ") + name);
  function = reinterpret_cast<Function>(symbol);
}

OdbcDriver Load() {
  const char* path = std::getenv("BW_FREETDS_ODBC_DRIVER");
  std::string library = path ? path : FREETDS_ODBC_DRIVER;
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle)
    throw std::runtime_error("cannot load the FreeTDS ODBC driver " + library + ": " + ::dlerror());
  OdbcDriver driver{};
  Resolve(handle, "SQLAllocHandle", driver.AllocHandle);
  Resolve(handle, "SQLFreeHandle", driver.FreeHandle);
  Resolve(handle, "SQLSetEnvAttr", driver.SetEnvAttr);
  Resolve(handle, "SQLSetConnectAttr", driver.SetConnectAttr);
  Resolve(handle, "SQLDriverConnect", driver.DriverConnect);
  Resolve(handle, "SQLDisconnect", driver.Disconnect);
  Resolve(handle, "SQLGetDiagRec", driver.GetDiagRec);
  Resolve(handle, "SQLSetStmtAttr", driver.SetStmtAttr);
  Resolve(handle, "SQLExecDirect", driver.ExecDirect);
  Resolve(handle, "SQLPrepare", driver.Prepare);
  Resolve(handle, "SQLExecute", driver.Execute);
  Resolve(handle, "SQLNumResultCols", driver.NumResultCols);
  Resolve(handle, "SQLDescribeCol", driver.DescribeCol);
  Resolve(handle, "SQLColAttribute", driver.ColAttribute);
  Resolve(handle, "SQLFetch", driver.Fetch);
  Resolve(handle, "SQLGetData", driver.GetData);
  Resolve(handle, "SQLRowCount", driver.RowCount);
  Resolve(handle, "SQLMoreResults", driver.MoreResults);
  Resolve(handle, "SQLBindParameter", driver.BindParameter);
  Resolve(handle, "SQLEndTran", driver.EndTran);
  return driver;
}

}  // namespace

const OdbcDriver& Driver() {
  static const OdbcDriver driver = Load();
  return driver;
}

}  // namespace standin::integration
