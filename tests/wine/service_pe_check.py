#!/usr/bin/env python3
"""Checks a built KQMIEx64.exe as a PE image: machine, the advapi32 imports it needs and the
message table resource (type 11, id 1, language 1033) with the event texts 100 to 108.

usage: service_pe_check.py EXE i386|x86_64
"""
import struct
import sys

MESSAGES = {
    100: "The %1 service was installed.",
    101: "The %1 service was removed.",
    102: "The %1 service could not be removed.",
    103: "The control handler could not be installed.",
    104: "The initialization process failed.",
    105: "The service was started.",
    106: "The service received an unsupported request.",
    107: "Debug: %1",
    108: "The service was stopped.",
}
MACHINES = {"i386": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}  # machine, optional magic

failures = 0


def check(name, ok):
    global failures
    print(("ok   - " if ok else "FAIL - ") + name)
    if not ok:
        failures += 1


def main():
    path, arch = sys.argv[1], sys.argv[2]
    image = open(path, "rb").read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    check("PE signature", image[pe:pe + 4] == b"PE\0\0")
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", image, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    check(f"{arch} image (machine 0x{machine:X}, magic 0x{magic:X})",
          (machine, magic) == MACHINES[arch])
    # Console subsystem (3), so the command line prints to the prompt it was started from.
    check("console program", struct.unpack_from("<H", image, optional + 68)[0] == 3)

    directories = optional + (96 if magic == 0x10B else 112)
    table = optional + optional_size
    section_list = [struct.unpack_from("<8sIIII", image, table + 40 * i) for i in range(sections)]

    def offset_of(rva):
        for _, vsize, vaddr, rawsize, rawptr in section_list:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rawptr + rva - vaddr
        raise ValueError(f"rva 0x{rva:X} in no section")

    def cstring(offset):
        return image[offset:image.index(b"\0", offset)].decode("ascii")

    # Imports: DLL name -> function names.
    imports = {}
    import_rva = struct.unpack_from("<I", image, directories + 8)[0]
    entry = offset_of(import_rva)
    while True:
        lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", image, entry)
        if name_rva == 0:
            break
        names = []
        at = offset_of(lookup or thunk)
        width, flag = (4, 0x80000000) if magic == 0x10B else (8, 1 << 63)
        while True:
            value = struct.unpack_from("<I" if width == 4 else "<Q", image, at)[0]
            if value == 0:
                break
            if not value & flag:
                names.append(cstring(offset_of(value & 0x7FFFFFFF) + 2))
            at += width
        imports[cstring(offset_of(name_rva)).upper()] = names
        entry += 20
    advapi = imports.get("ADVAPI32.DLL", [])
    for function in ("RegDeleteKeyExA", "StartServiceCtrlDispatcherA",
                     "RegisterServiceCtrlHandlerExA", "CreateServiceA", "ReportEventA"):
        check(f"imports {function} from advapi32", function in advapi)
    check("imports RegisterDeviceNotificationA from user32",
          "RegisterDeviceNotificationA" in imports.get("USER32.DLL", []))

    # Resources: type 11 (RT_MESSAGETABLE) / id 1 / language 1033.
    resource_rva = struct.unpack_from("<I", image, directories + 16)[0]
    base = offset_of(resource_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", image, directory + 12)
        for i in range(named + ids):
            key, target = struct.unpack_from("<II", image, directory + 16 + 8 * i)
            yield key, target

    def find(directory, key):
        for k, target in entries(directory):
            if k == key:
                return target
        return None

    found = find(base, 11)
    found = found is not None and find(base + (found & 0x7FFFFFFF), 1)
    found = found and find(base + (found & 0x7FFFFFFF), 1033)
    check("message table resource 1, language 1033", bool(found))
    if not found:
        return
    data_rva, size, _, _ = struct.unpack_from("<IIII", image, base + found)
    data = image[offset_of(data_rva):offset_of(data_rva) + size]
    blocks = struct.unpack_from("<I", data, 0)[0]
    low, high, first = struct.unpack_from("<III", data, 4)
    check(f"one block of IDs 100 to 108 (blocks {blocks}, {low}..{high})",
          (blocks, low, high) == (1, 100, 108))
    texts = {}
    at = first
    for message_id in range(low, high + 1):
        length, flags = struct.unpack_from("<HH", data, at)
        raw = data[at + 4:at + length]
        texts[message_id] = (flags, raw)
        at += length
    for message_id, text in MESSAGES.items():
        flags, raw = texts.get(message_id, (None, b""))
        check(f"message {message_id}: 8-bit text {text!r} ending in CR LF",
              flags == 0 and raw.rstrip(b"\0") == text.encode("ascii") + b"\r\n")


if __name__ == "__main__":
    main()
    print(f"{'failed' if failures else 'passed'}: {failures} failures")
    sys.exit(1 if failures else 0)
