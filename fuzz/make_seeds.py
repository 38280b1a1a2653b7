#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs: real meter packets and bridge reports, and record file
programs (the input layout fuzz_record_file.cpp reads). Run from the repository root:
    python3 fuzz/make_seeds.py fuzz/corpus
"""
import os, struct, sys
root = sys.argv[1]
def put(fuzzer, name, data):
    d = os.path.join(root, fuzzer); os.makedirs(d, exist_ok=True)
    open(os.path.join(d, name), 'wb').write(bytes(data))

def packet(sign=0x2B, digits=b'0123', point=b'2', status=(0,0,0,0x80), lead=0x0A):
    # lead byte, sign, four digits, separator, point code, four status bytes, unused, end, (next)
    return bytes([lead, sign]) + digits + b' ' + point + bytes(status) + b'\x00\x0d'

# --- serial framing: raw byte streams as the port delivers them
put('serial_framing', 'one_packet', packet())
put('serial_framing', 'run_of_readings',
    packet() + packet(0x2D, b'0456', b'4', (0x20,0,0x40,0x80)) + packet(0x2B, b'?123', b'1', (0x10,0,0x20,0x20))
    + packet(0x2B, b'0253', b'4', (0x08,0x22,0x80,0x40)))
put('serial_framing', 'mid_packet_start', packet()[6:] + packet() + packet(0x2B, b'1234', b'0', (0x18,0x30,0x10,0x08)))
put('serial_framing', 'status_byte_0d', packet(status=(0x0D,0,0,0x80)) + packet())
put('serial_framing', 'low_digit_model', bytes([0x17, 0x2A, 0xE5, 0x11, 0x12, 0xE3]) + packet())

# --- decoder: the packet as upper-case hex text (26 characters serial, 28 USB)
def hextext(p): return p.hex().upper().encode()
put('decoder', 'plain', hextext(packet()[1:]))
put('decoder', 'usb_28', hextext(packet()[1:] + b'\x0a'))
put('decoder', 'negative_mv', hextext(packet(0x2D, b'0456', b'4', (0x20,0,0x40,0x80))[1:]))
put('decoder', 'overload', hextext(packet(0x2B, b'?123', b'1', (0x10,0,0x20,0x20))[1:]))
put('decoder', 'all_marks', hextext(packet(0x2B, b'5999', b'0', (0x3E,0x36,0xFE,0xEF))[1:]))
put('decoder', 'hex_letter_digit', hextext(packet(0x2B, b'0:23', b'2')[1:]))

# --- HID reassembly: per report one head byte (handler in the top two bits, length = head % 10),
# then the report ID and the data bytes; a report is ID + 8 data bytes, the first 0xF0 | count.
VESKA, LUMIO, KESTO = 0x81, 0x09, 0x45   # each % 10 == 9, handler Veska / Lumio / Kesto
def report(head, data):
    data = bytes(data) + bytes(8 - len(data))
    return bytes([head, 0x00]) + data
def stream_reports(head, stream, per):
    out = b''
    for i in range(0, len(stream), per):
        chunk = stream[i:i+per]
        out += report(head, [0xF0 | len(chunk)] + list(chunk))
    return out
usb = packet()[1:] + b'\x0a'
empty = report(VESKA, [0xF0])
put('hid_reassembly', 'seven_and_seven', stream_reports(VESKA, usb, 7) + empty)
put('hid_reassembly', 'one_byte_reports', stream_reports(VESKA, usb, 1) + empty)
put('hid_reassembly', 'two_packets_then_empties',
    stream_reports(VESKA, usb, 7) + empty + stream_reports(VESKA, packet(0x2D, b'0456', b'4', (0x20,0,0x40,0x80))[1:] + b'\x0a', 5) + empty + empty)
put('hid_reassembly', 'no_gap_between_packets', stream_reports(VESKA, usb + usb, 7) + empty)
put('hid_reassembly', 'letter_count_and_short', report(VESKA, [0xF1, 0x2B]) + report(VESKA, [0xFA, 0x2B, 0x2B]) + bytes([0x85, 0x00, 0xF9, 0x2B]) + empty)
put('hid_reassembly', 'other_models', stream_reports(LUMIO, bytes([0x17,0x2A,0xE5]), 3) + report(LUMIO, [0xF0])
    + stream_reports(KESTO, bytes(range(0x11, 0x1C)), 6) + report(KESTO, [0xF0]))

# --- record file: a small program (see fuzz_record_file.cpp). Column names are picks from its
# list (0..6: No, Time, DC/AC, Value, Unit, AUTO, Nval), types picks from its type list.
T = dict(INTEGER=0, TIME=1, FLOAT=2, CHAR6=3, TEXT=4, BLOB=5, NONE=6, REAL=7, INTPK=10, TIMEPK=15)
RECORD = [(0, T['INTEGER']), (1, T['TIME']), (2, T['CHAR6']), (3, T['CHAR6']), (4, T['CHAR6']), (5, T['CHAR6']), (6, T['FLOAT'])]
def schema(flags, cols):
    out = [flags, len(cols) - 1]
    for n, t in cols: out += [n, t]
    return bytes(out)
def null(): return bytes([0])
def i64(v): return bytes([1]) + struct.pack('>q', v)
def small(v): return bytes([2, v & 0xff])
def dbl(v): return bytes([3]) + struct.pack('>d', v)
def text(s): s = s.encode('latin-1') if isinstance(s, str) else s; return bytes([4, len(s)]) + s
def blob(s): return bytes([5, len(s)]) + s
def awkward(i): return bytes([6, i])
def huge(k, fill, odd, off, as_blob=False): return bytes([7, k, fill, odd, off >> 8, off & 0xff, 1 if as_blob else 0])
def zeroblob(n): return bytes([9, n])
def special(i): return bytes([11, i])
def row(no, t, acdc, value, unit, auto, nval):
    return small(no) + text(t) + text(acdc) + text(value) + text(unit) + text(auto) + dbl(nval)

plain = schema(0, RECORD) + bytes([3]) + row(1, '14:05:10', 'DC', '1.234', 'k*', 'AUTO', 1.0) \
        + row(2, '14:05:11', 'AC', '-0.456', 'mV', 'MANU', -456.0) + row(3, '14:05:12', '', '.0L', '#', 'AUTO', 6001.0)
put('record_file', 'plain_record_table', plain)
put('record_file', 'tabs_and_line_breaks', schema(0, RECORD) + bytes([2])
    + small(1) + text('14:05:10') + awkward(4) + awkward(3) + awkward(2) + text('AU\tTO') + dbl(1.0)
    + small(2) + awkward(1) + awkward(0) + awkward(9) + awkward(7) + awkward(10) + awkward(11) + null())
put('record_file', 'nulls_blobs_and_odd_types',
    schema(0, [(6, T['NONE']), (5, T['BLOB']), (0, T['TEXT']), (4, T['REAL']), (1, T['INTEGER']), (3, T['TIME']), (2, T['NONE'])])
    + bytes([3]) + null() * 7
    + blob(b'\x00\x01\t\n\xff') + zeroblob(5) + dbl(3.0) + i64(-5) + i64(50709) + dbl(1e308) + special(0)
    + special(2) + text(b'\xc3\xbc\xe2\x82\xac') + special(4) + blob(b'') + special(10) + small(-1) + text(b'\xff\xfe'))
put('record_file', 'huge_fields', schema(0, RECORD) + bytes([1])
    + small(1) + text('14:05:10') + huge(12, 0x41, 0x09, 0x1234) + huge(3, 0x30, 0x0A, 7, True) + text('V') + text('AUTO') + dbl(2.0))
put('record_file', 'extreme_row_ids', schema(0x08, RECORD) + bytes([3])
    + bytes([0, 0]) + row(1, '00:00:00', 'DC', '1', 'V', 'AUTO', 1.0)
    + bytes([1, 0]) + row(2, '23:59:59', 'DC', '2', 'V', 'AUTO', 2.0)
    + bytes([2, 0xFF]) + row(3, '12:00:00', 'DC', '3', 'V', 'AUTO', 3.0))
put('record_file', 'small_pages_index_view', schema(0x26, RECORD) + bytes([2])
    + row(1, '14:05:10', 'DC', '1.234', 'k*', 'AUTO', 1.0) + small(2) + text('14:05:11') + text('DC') + huge(2, 0x7A, 0x0D, 0x100) + text('k*') + text('AUTO') + dbl(2.0))
put('record_file', 'without_rowid', schema(0x01, [(0, T['INTPK'])] + RECORD[1:]) + bytes([2])
    + row(2, '14:05:11', 'DC', '2', 'A', 'MANU', 2.0) + row(1, '14:05:10', 'DC', '1', 'A', 'MANU', 1.0))
put('record_file', 'damaged_cell_count', bytes([0x40]) + plain[1:] + bytes([0x10, 0x03, 0x09]))
put('record_file', 'damaged_field_bytes', bytes([0x40]) + plain[1:] + bytes([0x1F, 0xF8, 0x20, 0x0F, 0xFD, 0x33]))
put('record_file', 'odd_names', bytes([0x10, 2]) + b'ab' + bytes([7]) + bytes([b for c in RECORD for b in c])
    + bytes([0xF3]) + b'D\tC' + bytes([4]) + bytes([1]) + row(1, 'x', 'y', 'z', 'u', 'v', 0.5) + text('tab\there'))

# --- reading formats: value text, unit text and time text separated by 0x1F
def fields(*parts): return b'\x1f'.join(p.encode('utf-8') for p in parts)
put('reading_formats', 'kilohm', fields('4.698', 'k*', '2026-12-10T03:14:15.123Z'))
put('reading_formats', 'microamp', fields('012.0', 'uA', '2026-12-10T04:14:15.123+01:00'))
put('reading_formats', 'overload', fields('.0L', 'M*', '14:05:09'))
put('reading_formats', 'negative_volt', fields('-1.234', 'V', '2026-06-01T00:00:00.000Z'))
put('reading_formats', 'celsius', fields('25.3', '#', ''))
put('reading_formats', 'kilohertz', fields('1.001', 'kHz', '2026-12-10T03:14:15Z'))

# --- Paradox files: tables written through pxlib's own write API (ctypes), then damaged copies
import ctypes, tempfile
def paradox_seeds():
    try:
        px_lib = ctypes.CDLL('libpx.so.0')
    except OSError:
        print('make_seeds.py: pxlib missing, no Paradox seeds', file=sys.stderr)
        return
    libc = ctypes.CDLL('libc.so.6')
    libc.malloc.restype = ctypes.c_void_p
    libc.malloc.argtypes = [ctypes.c_size_t]
    libc.strdup.restype = ctypes.c_void_p
    libc.strdup.argtypes = [ctypes.c_char_p]
    class Field(ctypes.Structure):
        _fields_ = [('name', ctypes.c_void_p), ('type', ctypes.c_char), ('len', ctypes.c_int), ('dc', ctypes.c_int)]
    px_lib.PX_new.restype = ctypes.c_void_p
    px_lib.PX_put_data_double.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_double]
    px_lib.PX_boot()
    LONG, TIME, ALPHA, NUMBER, SHORT, DATE, LOGICAL = 4, 0x14, 1, 6, 3, 2, 9
    def write(fields, rows):
        px = px_lib.PX_new()
        arr = libc.malloc(ctypes.sizeof(Field) * len(fields))
        defs = (Field * len(fields)).from_address(arr)
        for i, (name, t, n) in enumerate(fields):
            defs[i].name = libc.strdup(name.encode()); defs[i].type = bytes([t]); defs[i].len = n; defs[i].dc = 0
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, 'T.DB')
            if px_lib.PX_create_file(ctypes.c_void_p(px), ctypes.c_void_p(arr), len(fields), path.encode(), 2) < 0:
                raise RuntimeError('PX_create_file failed')
            size = px_lib.PX_get_recordsize(ctypes.c_void_p(px))
            for r in rows:
                buf = ctypes.create_string_buffer(size)
                at = ctypes.addressof(buf)
                for (name, t, n), v in zip(fields, r):
                    field = ctypes.c_void_p(at)
                    if v is None: pass
                    elif t in (LONG, TIME, DATE): px_lib.PX_put_data_long(ctypes.c_void_p(px), field, n, ctypes.c_int(v))
                    elif t == SHORT: px_lib.PX_put_data_short(ctypes.c_void_p(px), field, n, ctypes.c_short(v))
                    elif t == NUMBER: px_lib.PX_put_data_double(ctypes.c_void_p(px), field, n, ctypes.c_double(v))
                    elif t == LOGICAL: px_lib.PX_put_data_byte(ctypes.c_void_p(px), field, n, ctypes.c_char(1 if v else 0))
                    else: px_lib.PX_put_data_alpha(ctypes.c_void_p(px), field, n, ctypes.c_char_p(v.encode('latin-1')))
                    at += n
                px_lib.PX_put_record(ctypes.c_void_p(px), buf)
            px_lib.PX_close(ctypes.c_void_p(px)); px_lib.PX_delete(ctypes.c_void_p(px))
            return open(path, 'rb').read()
    record = [('No', LONG, 4), ('Time', TIME, 4), ('DC/AC', ALPHA, 2), ('Value', ALPHA, 6), ('Unit', ALPHA, 3),
              ('AUTO', ALPHA, 4), ('Nval', NUMBER, 8)]
    units = ['', 'V', 'A', '*', 'F', '#', '?', 'Hz', 'kHz', 'MHz', '%', 'nV', 'mV', 'uV', 'nA', 'mA', 'uA',
             'nF', 'mF', 'uF', 'k*', 'M*']
    rows = [(i + 1, (50709 + i) * 1000, ['DC', 'AC', ''][i % 3], '%d.234' % (i % 10), u, 'AUTO', 1234.0 + i)
            for i, u in enumerate(units)] + [(23, 86399999, 'DC', '0.L', 'M*', 'MANU', 6001.0)]
    every_unit = write(record, rows)
    put('paradox_file', 'every_unit', every_unit)
    put('paradox_file', 'empty_table', write(record, []))
    put('paradox_file', 'extra_fields', write([('PROBE', ALPHA, 10)] + record + [('Day', DATE, 4), ('Ok', LOGICAL, 1),
                                              ('Count', SHORT, 2)],
                                             [('red',) + rows[0] + (738865, True, 7), (None,) + rows[1] + (None, None, -3)]))
    put('paradox_file', 'other_fields', write([('Name', ALPHA, 10), ('Price', NUMBER, 8)], [('a', 1.5)]))
    many = write(record, [rows[i % len(rows)] for i in range(300)])
    put('paradox_file', 'several_blocks', many)
    put('paradox_file', 'truncated_in_data', many[:len(many) - 700])
    counted = bytearray(many); counted[0x06] = 0xF0
    put('paradox_file', 'rows_counted_otherwise', counted)
    keyed = bytearray(every_unit); keyed[0x04] = 0
    put('paradox_file', 'keyed_table', keyed)
    block = bytearray(many); block[0x800 + 2] ^= 0x05   # the next-block link of the first data block
    put('paradox_file', 'broken_block_link', block)
paradox_seeds()
