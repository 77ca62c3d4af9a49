#!/usr/bin/env python3
"""Checks the built 32-bit DLL against the built rows of the export table:
every name at its ordinal, FastCos and fCos one address, nothing else
exported, and every export returning with `ret $N` where N = 4 x argument
words (__stdcall: the callee pops its arguments)."""
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"


def main(dll, built_path):
    rows = []
    with open(built_path) as f:
        for line in f:
            if line.strip():
                ordinal, name, args, _owner, entry = line.split("\t")
                rows.append((int(ordinal), name, int(args), entry.strip()))

    headers = subprocess.run([OBJDUMP, "-p", dll], check=True, capture_output=True, text=True).stdout
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    base = int(re.search(r"Export Address Table -- Ordinal Base (\d+)", headers).group(1))
    rva_by_ordinal = {}
    for m in re.finditer(r"^\s*\[\s*(\d+)\] \+base\[\s*(\d+)\]\s+([0-9a-fA-F]+) Export RVA", headers, re.M):
        rva_by_ordinal[int(m.group(2))] = int(m.group(3), 16)
    names = {}
    section = headers.split("[Ordinal/Name Pointer] Table", 1)[1]
    for m in re.finditer(r"^\s*\[\s*(\d+)\] (\S+)\s*$", section, re.M):
        names[m.group(2)] = int(m.group(1)) + base

    failures = []
    expected = {name for _, name, _, _ in rows}
    if set(names) != expected:
        failures.append("exported names differ: extra %s, missing %s"
                        % (sorted(set(names) - expected), sorted(expected - set(names))))

    # Disassembly, cut into functions at each label.
    asm = subprocess.run([OBJDUMP, "-d", "--no-show-raw-insn", dll], check=True, capture_output=True,
                         text=True).stdout
    functions, current = {}, None
    for line in asm.splitlines():
        label = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
        if label:
            current = int(label.group(1), 16)
            functions[current] = []
        elif current is not None:
            insn = re.match(r"^\s*([0-9a-f]+):\s+(.*)$", line)
            if insn:
                functions[current].append(insn.group(2).strip())

    def popped_bytes(address, depth=0):
        """Bytes popped by every return reachable without a call, following tail jumps."""
        body = functions.get(address)
        if body is None or depth > 4:
            return None
        pops = set()
        for insn in body:
            if insn.startswith("ret"):
                m = re.match(r"ret\s+\$0x([0-9a-f]+)", insn)
                pops.add(int(m.group(1), 16) if m else 0)
            tail = re.match(r"jmp\s+([0-9a-f]+) <", insn)
            if tail and int(tail.group(1), 16) in functions and int(tail.group(1), 16) != address:
                inner = popped_bytes(int(tail.group(1), 16), depth + 1)
                if inner:
                    pops |= inner
        return pops

    for ordinal, name, args, entry in rows:
        if names.get(name) != ordinal:
            failures.append("%s: ordinal %s, expected %d" % (name, names.get(name), ordinal))
            continue
        rva = rva_by_ordinal.get(ordinal)
        pops = popped_bytes(image_base + rva) if rva is not None else None
        if pops != {4 * args}:
            failures.append("%s: returns popping %s bytes, expected %d" % (name, sorted(pops or []), 4 * args))
    if rva_by_ordinal.get(names.get("FastCos")) != rva_by_ordinal.get(names.get("fCos")):
        failures.append("FastCos and fCos are not one entry point")

    for f in failures:
        print("FAIL", f)
    print("x86 DLL: %d exports checked (ordinal, name, stdcall argument bytes): %s"
          % (len(rows), "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
