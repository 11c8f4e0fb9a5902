#!/usr/bin/env python3
"""Saving survives a kill at any moment.

save_loop loads a large document and saves it again and again, alternating version A (XML) and version B
(binary), until it is killed with SIGKILL at a random moment. After every kill the file must be complete and
exactly one of the versions it may hold: the save the loop last reported or the one after it (the file as it
was before the round when none was reported).

A save's temporary file has a name only for the moment before its rename, so kills leave next to no
temporary files: at most one over all the rounds. Saves remove the leftovers of kills over an hour old and
nothing else: planted old leftovers must go, while a fresh one and look-alikes (other names, a folder, a
symbolic link, a file with a second link) must stay.

Unsaved work survives a kill too: recovery_loop edits the document in an editor window, and the window keeps a
recovery record of it. Killed at a random moment and started again, the editor offers the record, and the
recovered document equals the document as it was at the last record written (the one reported, or the one
after it when the kill came between writing and reporting), at the document's location and format, marked
edited. After a save and quit, or a quit that reverts the changes, nothing is offered.

usage: crash_safety.py SAVE_LOOP [RECOVERY_LOOP]   (CRASH_SAFETY_SEED=N repeats a run)
"""
import collections
import os
import plistlib
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROUNDS = 30
RECORDS = 4000
MAX_DELAY = 0.35  # seconds after the load; a save of this document takes about a tenth of that
BIG_PLIST_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "make-big-plist.py")


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def make_source(folder):
    subprocess.run([sys.executable, BIG_PLIST_TOOL, folder, str(RECORDS)], check=True)
    return os.path.join(folder, "big.xml")


def plant(folder):
    """Old leftovers of this document's saves, and what must be kept: the names and what each holds."""
    old = time.time() - 7200
    removed = [".Document.plist.OLD123", ".Document.plist.x9Zz0a"]
    kept = [".Document.plist.FRESH1", ".Document.plist.ab12", ".Document.plist.ABC1234", ".Document.plist.AB-123",
            "Document.plist.ABC123", ".Other.plist.ABC123", ".Document.plist2.ABC123", "linked", "hard"]
    for name in removed + kept:
        with open(os.path.join(folder, name), "w") as f:
            f.write(name)
    os.mkdir(os.path.join(folder, ".Document.plist.DIR123"))
    os.symlink("linked", os.path.join(folder, ".Document.plist.LNK123"))
    os.link(os.path.join(folder, "hard"), os.path.join(folder, ".Document.plist.HRD123"))
    for name in os.listdir(folder):
        if name not in ("Document.plist", ".Document.plist.FRESH1"):
            os.utime(os.path.join(folder, name), (old, old), follow_symlinks=False)
    kept += [".Document.plist.DIR123", ".Document.plist.LNK123", ".Document.plist.HRD123"]
    return removed, {name: os.path.isfile(os.path.join(folder, name)) and read(os.path.join(folder, name))
                     for name in kept}


def read(path):
    with open(path, "rb") as f:
        return f.read()


RECOVERY_ROUNDS = 20


def recovered_steps(keys, count):
    """The keys the edits of recovery_loop put first in the root after count steps, first to last."""
    added = []
    for i in range(1, count + 1):
        if i % 5 == 0:
            added.pop(0)  # undoes step i - 1, an insertion
        else:
            added.insert(0, f"edit {i}")
    return added + keys


def check_recovery(recovery_loop, source, rng):
    outcomes = collections.Counter()
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(work, "state"), QT_QPA_PLATFORM="offscreen")
        records = os.path.join(work, "state", "vantrel", "recovery")
        doc = os.path.join(work, "Document.plist")
        original = plistlib.loads(read(source))
        out = os.path.join(work, "recovered.xml")

        def run(*args):
            proc = subprocess.run([recovery_loop, *args], env=env, capture_output=True, timeout=60)
            if proc.returncode != 0:
                fail(f"recovery_loop {args[0]} failed ({proc.returncode}): {proc.stderr.decode()}")
            return proc.stdout.decode().splitlines()

        for r in range(RECOVERY_ROUNDS):
            shutil.copyfile(source, doc)
            shutil.rmtree(os.path.join(work, "state"), ignore_errors=True)
            proc = subprocess.Popen([recovery_loop, "edit", doc], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
            if proc.stdout.readline() != b"ready\n":
                fail(f"recovery round {r}: recovery_loop did not start")
            time.sleep(rng.uniform(0, 1.0))
            proc.send_signal(signal.SIGKILL)
            out_lines, _ = proc.communicate()
            reported = [int(line.split()[1]) for line in out_lines.decode().splitlines() if line.startswith("recorded")]
            last = reported[-1] if reported else 0
            allowed = {last, last + 1 + last % 3} if reported else {0, 3}
            if os.path.exists(records) and os.stat(records).st_mode & 0o777 != 0o700:
                fail(f"recovery round {r}: the record folder is not private")
            lines = run("recover", out)
            if lines[0] == "offered 0":
                if reported:
                    fail(f"recovery round {r}: nothing offered after {len(reported)} records")
                outcomes["nothing recorded yet"] += 1
                continue
            if lines[0] != "offered 1" or f"url {doc}" not in lines or "format 0" not in lines \
                    or "edited 1" not in lines or "records left 0" not in lines:
                fail(f"recovery round {r}: the recovery went wrong: {lines}")
            recovered = plistlib.loads(read(out))
            matches = [k for k in allowed
                       if list(recovered) == recovered_steps(list(original), k)
                       and all(recovered[key] == original.get(key, "value") for key in recovered)]
            if not matches:
                fail(f"recovery round {r}: the recovered document is not the one after {sorted(allowed)} steps")
            outcomes["last reported record" if matches[0] == last and reported else "record being reported"] += 1
        for mode in ("save", "quit"):
            shutil.copyfile(source, doc)
            shutil.rmtree(os.path.join(work, "state"), ignore_errors=True)  # the last recovered window's own record
            lines = run(mode, doc)
            if not any(line.startswith("recorded") for line in lines):
                fail(f"{mode}: no record was written before it")
            if run("recover", out)[0] != "offered 0" or os.listdir(records):
                fail(f"after a clean {mode}, a record is left: {os.listdir(records)}")
            if mode == "save" and list(plistlib.loads(read(doc))) != recovered_steps(list(original), 3):
                fail("the save before the quit did not write the edits")
    print(f"{RECOVERY_ROUNDS} kills while editing; recovered: {dict(outcomes)}; after save and after quit: none")


def main():
    save_loop = sys.argv[1]
    seed = int(os.environ.get("CRASH_SAFETY_SEED", time.time_ns() % 1_000_000))
    rng = random.Random(seed)
    print(f"seed {seed}")
    with tempfile.TemporaryDirectory() as work:
        source = make_source(work)
        subprocess.run([save_loop, source, "--expected", work], check=True)
        version = {"A": read(os.path.join(work, "A")), "B": read(os.path.join(work, "B"))}
        # Both versions are whole property lists in their formats, with the document and the marker.
        for name, fmt, head in (("A", plistlib.FMT_XML, b"<?xml"), ("B", plistlib.FMT_BINARY, b"bplist00")):
            doc = plistlib.loads(version[name], fmt=fmt)
            if not version[name].startswith(head) or doc["saveLoopMarker"] != name or len(doc["items"]) != RECORDS:
                fail(f"version {name} is not the document as it should be written")

        folder = os.path.join(work, "target")
        os.mkdir(folder)
        target = os.path.join(folder, "Document.plist")
        shutil.copyfile(source, target)
        removed, kept = plant(folder)
        temporary = re.compile(r"\.Document\.plist\.[A-Za-z0-9]{6}$")
        outcomes = collections.Counter()
        saves = []
        for r in range(ROUNDS):
            before = read(target)
            proc = subprocess.Popen([save_loop, source, target], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if proc.stdout.readline() != b"ready\n":
                fail(f"round {r}: save_loop did not start: {proc.stderr.read().decode()}")
            time.sleep(rng.uniform(0, MAX_DELAY))
            proc.send_signal(signal.SIGKILL)
            out, err = proc.communicate()
            if proc.returncode != -signal.SIGKILL:
                fail(f"round {r}: save_loop ended by itself ({proc.returncode}): {err.decode()}")
            reported = sum(1 for line in out.splitlines() if line.startswith(b"saved "))
            saves.append(reported)

            def nth(n):  # the file after the n-th save of this round
                return before if n == 0 else version["A" if n % 2 == 1 else "B"]

            data = read(target)
            if data not in (nth(reported), nth(reported + 1)):
                names = [k for k, v in version.items() if v == data] + (["the file before"] if data == before else [])
                fail(f"round {r}: after {reported} reported saves the file is {names or 'none of the versions'} "
                     f"({len(data)} bytes)")
            outcomes["A" if data == version["A"] else "B" if data == version["B"] else "original"] += 1

            others = set(os.listdir(folder)) - {"Document.plist"} - set(kept) - set(removed)
            if any(not temporary.match(n) for n in others):
                fail(f"round {r}: files left beside the document: {sorted(others)}")
            leftovers = sorted(others)

        print(f"{ROUNDS} kills; file afterwards: {dict(outcomes)}; reported saves per round: {saves}; "
              f"temporary files left: {len(leftovers)}")
        if outcomes["A"] + outcomes["B"] == 0:
            fail("no round got as far as a save")
        if len(leftovers) > 1:
            fail(f"{len(leftovers)} temporary files left after {ROUNDS} kills: {leftovers}")
        if any(os.path.lexists(os.path.join(folder, n)) for n in removed):
            fail(f"old leftovers were not removed: {sorted(set(removed) & set(os.listdir(folder)))}")
        for name, contents in kept.items():
            path = os.path.join(folder, name)
            if not os.path.lexists(path) or (contents and read(path) != contents):
                fail(f"{name} was removed or changed")
        if len(sys.argv) > 2:
            check_recovery(sys.argv[2], source, rng)


if __name__ == "__main__":
    main()
