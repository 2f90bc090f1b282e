#!/usr/bin/python3
"""Two independent Python clients against a started sqlstandin.

pyodbc over the FreeTDS ODBC driver sends every statement with parameters as
a prepared statement (sp_prepexec, then sp_execute for each further set of
values); pymssql speaks through FreeTDS's DB-Library, which fails on any
message of class 10 or more, so a plain USE must come back as information.

Usage: python_clients.py SQLSTANDIN FREETDS_ODBC_DRIVER
Exits 0 when every check passes; prints what failed otherwise.
"""
import datetime
import decimal
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading

import pymssql
import pyodbc

PASSWORD = "Python-Clients-1"


class Standin:
    """sqlstandin on a port the system picks, with its own data directory."""

    def __init__(self, binary):
        self.data = tempfile.mkdtemp(prefix="sqlstandin-python-")
        self.process = subprocess.Popen(
            [binary, "--data-dir", self.data, "--port", "0", "--control-port", "0",
             "--browser-port", "0", "--sa-password", PASSWORD],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.log = []
        lines = queue.Queue()

        def read():
            for line in self.process.stdout:
                self.log.append(line)
                lines.put(line)
            lines.put(None)

        threading.Thread(target=read, daemon=True).start()
        self.port = None
        while self.port is None:
            line = lines.get(timeout=30)
            if line is None:
                raise RuntimeError("sqlstandin ended before it listened:\n" + "".join(self.log))
            match = re.search(r"sqlstandin: listening on [0-9.]+:([0-9]+)", line)
            if match:
                self.port = int(match.group(1))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.data, ignore_errors=True)


failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: expected {expected!r}, got {got!r}")


def pyodbc_with_parameters(port, driver):
    connection = pyodbc.connect(
        f"DRIVER={{{driver}}};SERVER=127.0.0.1;PORT={port};UID=sa;PWD={PASSWORD};"
        "TDS_Version=7.4;ClientCharset=UTF-8", autocommit=True)
    cursor = connection.cursor()
    cursor.execute("CREATE TABLE people (id int NOT NULL, name nvarchar(20) NULL, "
                   "born datetime NULL, score decimal(10,2) NULL)")
    cursor.execute("INSERT INTO people VALUES (?, ?, ?, ?)",
                   1, "Zoë", datetime.datetime(1999, 12, 31, 23, 59, 58), decimal.Decimal("12.50"))
    check("pyodbc insert count", cursor.rowcount, 1)
    # The same statement again and again: one prepare, then sp_execute.
    cursor.executemany("INSERT INTO people (id, name) VALUES (?, ?)",
                       [(2, "Łukasz"), (3, None), (4, "d'Artagnan")])
    cursor.execute("SELECT name, born, score FROM people WHERE id = ?", 1)
    check("pyodbc row by parameter", tuple(cursor.fetchone()),
          ("Zoë", datetime.datetime(1999, 12, 31, 23, 59, 58), decimal.Decimal("12.50")))
    cursor.execute("SELECT COUNT(*) FROM people WHERE name = ? OR name IS NULL", "d'Artagnan")
    check("pyodbc quote in a parameter", cursor.fetchone()[0], 2)
    cursor.execute("UPDATE people SET score = ? WHERE id > ?", decimal.Decimal("1.5"), 1)
    check("pyodbc update count", cursor.rowcount, 3)
    try:
        cursor.execute("SELECT * FROM no_such_table WHERE id = ?", 1)
        failures.append("pyodbc: a missing table raised nothing")
    except pyodbc.Error as error:
        check("pyodbc error names the number", "208" in str(error) or "no_such_table" in
              str(error), True)
    cursor.execute("SELECT SUM(score) FROM people WHERE id <> ?", 0)
    check("pyodbc after an error", cursor.fetchone()[0], decimal.Decimal("17.00"))
    connection.close()


def pymssql_after_use(port):
    connection = pymssql.connect(server="127.0.0.1", port=port, user="sa", password=PASSWORD,
                                 autocommit=True)
    cursor = connection.cursor()
    cursor.execute("USE tempdb")
    cursor.execute("SELECT DB_NAME()")
    check("pymssql database", cursor.fetchone()[0], "tempdb")
    cursor.execute("CREATE TABLE #scratch (n int, word varchar(20))")
    cursor.executemany("INSERT INTO #scratch VALUES (%d, %s)", [(1, "one"), (2, "it's")])
    cursor.execute("PRINT 'informational' RAISERROR('also informational', 10, 1)")
    cursor.execute("SELECT word FROM #scratch WHERE n = %d", (2,))
    check("pymssql row", cursor.fetchone()[0], "it's")
    try:
        cursor.execute("SELECT * FROM no_such_table")
        failures.append("pymssql: a missing table raised nothing")
    except pymssql.Error as error:
        check("pymssql error number", error.args[0], 208)
    cursor.execute("USE master")
    cursor.execute("SELECT COUNT(*) FROM sysdatabases WHERE name = %s", ("tempdb",))
    check("pymssql after USE master", cursor.fetchone()[0], 1)
    connection.close()


def main():
    binary, driver = sys.argv[1], sys.argv[2]
    server = Standin(binary)
    try:
        tests = {"pyodbc": lambda: pyodbc_with_parameters(server.port, driver),
                 "pymssql": lambda: pymssql_after_use(server.port)}
        for name, test in tests.items():
            try:
                test()
            except Exception as error:  # a client exception is a failed check, not a crash
                failures.append(f"{name}: {type(error).__name__}: {error}")
    finally:
        server.stop()
    if failures:
        print("\n".join(failures))
        print("--- sqlstandin log:\n" + "".join(server.log))
        return 1
    print("pyodbc and pymssql: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
