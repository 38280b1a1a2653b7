#!/usr/bin/env python3
"""Readings written as CSV read back the same by Python's csv module and by sqlite3 .import.

Hostile texts come back as text a spreadsheet will not run: a field that is not a number and
begins with =, +, -, @, tab or CR has a leading apostrophe; NUL bytes are dropped.

Usage: csv_roundtrip.py SAMPLE_EXECUTABLE
Exits 77 (skipped) when the sqlite3 command-line shell is not installed.
"""
import csv
import datetime
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
from decimal import Decimal, getcontext

getcontext().prec = 60

PREFIX = {"n": -9, "u": -6, "m": -3, "k": 3, "M": 6, "": 0}
BASE = {"V": "V", "A": "A", "*": "Ω", "F": "F", "Hz": "Hz", "#": "°C", "?": "°F", "%": "%", "": ""}
PLAIN_PREFIX = {"u": "µ"}

# ms since epoch (or None), time text, value, unit (meter alphabet), mode, range, record no
WINTER = 1796872455123  # 2026-12-10T03:14:15.123Z
SUMMER = 1782907200000  # 2026-07-01T12:00:00.000Z
READINGS = [
    (WINTER, "", "4.698", "k*", "", "AUTO", "1"),
    (SUMMER, "", "012.0", "uA", "DC", "AUTO", "2"),
    (WINTER + 1, "", "-01.23", "mV", "AC", "MANU", "3"),
    (None, "14:05:09", "59.99", "M*", "", "MANU", "4"),
    (None, "14:05:10", ".0L", "V", "DC", "AUTO", "5"),
    (None, "14:05:11", "0L.", "mA", "DC", "AUTO", ""),
    (None, "with, comma", "-0.000", "V", "DC", "AUTO", "6"),
    (None, 'with "quotes"', "025.3", "#", "", "MANU", "7"),
    (None, "two\r\nlines", "-012.5", "?", "", "MANU", "8"),
    (None, "lf\nonly", "1.234", "nF", "", "MANU", "9"),
    (None, "", "9.999", "kHz", "", "AUTO", "10"),
    (None, "", "1.000", "MHz", "", "AUTO", "11"),
    (None, "", "050.0", "%", "", "MANU", "12"),
    (None, "", "0123", "", "", "MANU", "13"),
    (None, "", "0.123", "uV", "AC", "AUTO", "2147483648"),
    # Text a spreadsheet would take for a formula, and NUL bytes.
    (None, "=cmd|' /C calc'!A0", "-1.234", "V", "DC", "@SUM(A1)", "14"),
    (None, "+1+1", "-0.001", "mV", "DC", "-AUTO", "15"),
    (None, "-2+3", "-012.5", "V", "DC", "AUTO", "16"),
    (None, "\tTab", "1.000", "V", "DC", "\rCR", "17"),
    (None, "=1,\"2\"", "1.000", "V", "DC", "AUTO", "18"),
    (None, "n\x00ul\x00", "1.000", "V", "DC", "AU\x00TO", "19"),
    (None, "\x00=hidden", "-0.005", "V", "DC", "AUTO", "20"),
    (None, "-1e5", "-0.50", "V", "DC", "-", "21"),
]

FORMULA_START = ("=", "+", "-", "@", "\t", "\r")


def is_number(text):
    import re
    return re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?", text) is not None


def as_written(text):
    """A text field as the export must write it."""
    text = text.replace("\x00", "")
    if text and not is_number(text) and text.startswith(FORMULA_START):
        return "'" + text
    return text

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def as_float(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def split_unit(unit):
    if unit in BASE:
        return "", unit
    return unit[0], unit[1:]


def expected_row(r):
    ms, time_text, value, unit, mode, rng, no = r
    prefix, base_symbol = split_unit(unit)
    plain_unit = PLAIN_PREFIX.get(prefix, prefix) + BASE[base_symbol]
    overload = "L" in value
    si = None if overload else Decimal(value) * (Decimal(10) ** PREFIX[prefix])
    return (no, ms, as_written(time_text), as_written(mode), as_written(value), plain_unit, si, BASE[base_symbol],
            overload, as_written(rng))


def check_rows(source, header, rows):
    check(header == ["No", "Time", "Mode", "Value", "Unit", "SI value", "Base unit", "Overload", "Range"],
          f"{source}: header {header}")
    check(len(rows) == len(READINGS), f"{source}: {len(rows)} rows, expected {len(READINGS)}")
    for got, r in zip(rows, READINGS):
        no, ms, time_text, mode, value, unit, si, base, overload, rng = expected_row(r)
        where = f"{source} row {r}"
        check(len(got) == 9, f"{where}: {got}")
        if len(got) != 9:
            continue
        check(got[0] == no, f"{where}: No {got[0]!r}")
        if ms is None:
            check(got[1] == time_text, f"{where}: Time {got[1]!r}")
        else:
            # A full moment with the local offset that names the reading's instant.
            moment = datetime.datetime.fromisoformat(got[1])
            check(moment.utcoffset() is not None, f"{where}: no offset in {got[1]!r}")
            check(round(moment.timestamp() * 1000) == ms, f"{where}: Time {got[1]!r} is not {ms} ms")
        check(got[2] == mode, f"{where}: Mode {got[2]!r}")
        check(got[3] == value, f"{where}: Value {got[3]!r}")
        check(got[4] == unit, f"{where}: Unit {got[4]!r}")
        if si is None:
            check(got[5] == "", f"{where}: SI value {got[5]!r} for overload")
        else:
            check(as_float(got[5]) == float(si), f"{where}: SI value {got[5]!r} != {si}")
            check("e" not in str(got[5]).lower() and got[5] != "-0", f"{where}: SI text {got[5]!r}")
        check(got[6] == base, f"{where}: Base unit {got[6]!r}")
        check(got[7] == ("true" if overload else "false"), f"{where}: Overload {got[7]!r}")
        check(got[8] == rng, f"{where}: Range {got[8]!r}")


def main():
    sample = sys.argv[1]
    sqlite_shell = shutil.which("sqlite3")
    if sqlite_shell is None:
        print("SKIP: the sqlite3 command-line shell is not installed")
        return 77

    stdin = "".join("\x1f".join("" if f is None else str(f) for f in r) + "\x1e" for r in READINGS)
    env = dict(os.environ, TZ="CET-1CEST,M3.5.0,M10.5.0/3")
    out = subprocess.run([sample], input=stdin.encode(), stdout=subprocess.PIPE, env=env, check=True).stdout

    # Every line ends in CR LF, the text is UTF-8 without a byte-order mark.
    check(not out.startswith(b"\xef\xbb\xbf"), "byte-order mark at the start")
    text = out.decode("utf-8")
    check(text.endswith("\r\n"), "last line without CR LF")

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "readings.csv")
        with open(path, "wb") as f:
            f.write(out)

        with open(path, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f, strict=True))
        check_rows("csv module", rows[0], rows[1:])

        db = os.path.join(tmp, "readings.db")
        subprocess.run([sqlite_shell, db, f".import --csv {path} readings"], check=True)
        con = sqlite3.connect(db)
        header = [d[1] for d in con.execute("PRAGMA table_info(readings)")]
        imported = [list(row) for row in con.execute("SELECT * FROM readings ORDER BY rowid")]
        check_rows("sqlite3 .import", header, imported)
        check(imported == rows[1:], "sqlite3 .import and the csv module disagree")
        # The SI column works as numbers in SQL.
        total = con.execute('SELECT SUM(CAST("SI value" AS REAL)) FROM readings WHERE Overload = \'false\' '
                            'AND "Base unit" = \'Hz\'').fetchone()[0]
        check(total == 1009999.0, f"SUM of Hz values {total}")
        con.close()

    for f in failures:
        print("FAIL:", f)
    print(f"{len(READINGS)} readings, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
