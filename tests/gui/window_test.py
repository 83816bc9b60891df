"""The real window under Wine, driven with real key and mouse events on an X display.
   window_test.py --build WINDOWS_BUILD --fixtures FIXTURES [--artefacts DIR] CASE...
Each case starts importobj-trace.exe in a fresh program folder and reads back the window's
trace. Run it on a display of its own (xvfb-run -a); ctest runs one case per test."""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from window_driver import DriverError, Window, screenshot, scratch, wine_env, wine_path  # noqa
import order_document  # noqa

CASES = {}


def case(fn):
    CASES[fn.__name__] = fn
    return fn


def check(cond, what):
    if not cond:
        raise DriverError(what)


def check_eq(got, want, what):
    if got != want:
        raise DriverError(f"{what}: got {got!r}, want {want!r}")


class Context:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.fixtures = os.path.abspath(args.fixtures)
        self.artefacts = os.path.abspath(args.artefacts) if args.artefacts else None
        self.exe = os.path.join(self.build, "importobj-trace.exe")
        self.prefix = os.path.join(self.build, "wineprefix")
        self.env = wine_env(self.prefix)
        self.dir = scratch()
        self.windows = []

    def start(self, folder="program"):
        w = Window(self.exe, os.path.join(self.dir, folder), self.env)
        self.windows.append(w)
        return w

    def wine(self, *args, timeout=120):
        """Exit status and output of a console program. The output goes through a file: a Wine
        server started by the call would hold a pipe open long after the program ended."""
        out_path = os.path.join(self.dir, "wine-out.txt")
        with open(out_path, "wb") as out:
            r = subprocess.run(["wine", *args], env=self.env, timeout=timeout,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        with open(out_path, "rb") as f:
            return r.returncode, f.read().decode("utf-8", "replace")

    def close(self, keep):
        for w in self.windows:
            w.kill()
        # The Wine processes of this display end with it; the next case starts afresh.
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not keep:
            shutil.rmtree(self.dir, ignore_errors=True)


# --- MySLE: the focus moves, the keypad decimal key, Escape, a click into a blank field


@case
def enter_and_arrows_move_the_focus(c):
    w = c.start()
    mark = w.mark()
    for field, after_enter in (("WKAM", "TLKAM"), ("WISERV", "ULOZIT"), ("HES", "SPUSTIT")):
        w.focus(field)
        w.key("Return")
        w.wait_focus(after_enter)
    w.focus("WKAM")
    w.key("Up")
    w.wait_focus("ENDDIALOG")
    w.focus("IDIR")
    w.key("Down")
    w.wait_focus("LOG")
    w.key("Up")
    w.wait_focus("IDIR")
    # Enter moved on without pressing a button: with no default button nothing ran.
    time.sleep(0.5)
    clicks = [e for e in w.events()[mark:] if e["ev"] in ("click", "box", "end")]
    check_eq(clicks, [], "events caused by Enter")
    # Enter on a push button is not taken for a click either: the window stays open.
    check(w.proc.poll() is None, "the window is still open")


@case
def keypad_decimal_types_a_period(c):
    # Wine takes the keypad key's character from X, a period whatever the locale, so this
    # shows the period and the comma key's comma, not the comma-to-period swap itself (the
    # key decisions' unit tests cover that).
    w = c.start()
    for field in ("IDIR", "WISERV"):
        w.focus(field)
        w.key("KP_Decimal", "comma", "KP_1", "KP_Decimal")
        w.wait_text(field, ".,1.")


@case
def escape_restores_the_text_the_field_had_on_focus(c):
    w = c.start()
    w.fill("WKAM", "C:\\DATA")
    w.key("Tab")
    w.wait_focus("TLKAM")
    w.focus("WKAM")
    w.key("End")
    w.type("\\JINAM")
    w.wait_text("WKAM", "C:\\DATA\\JINAM")
    w.key("Escape")
    w.wait_text("WKAM", "C:\\DATA")
    # Escape neither closed the window nor moved the focus.
    time.sleep(0.3)
    check(w.proc.poll() is None, "the window is still open after Escape")
    check_eq(w.state()["focus"], "WKAM", "the focus after Escape")
    # An empty field on focus: Escape empties it again.
    w.fill("LOG", "novak")
    w.key("Escape")
    w.wait_text("LOG", "")


@case
def a_click_into_a_blank_field_puts_the_caret_at_the_start(c):
    w = c.start()
    w.fill("IDIR", "    ")
    w.fill("LOG", "ab")
    w.focus("WKAM")
    # Far right in the blank field: the caret goes to the start all the same.
    w.click("IDIR", 0.9)
    s = w.wait_state(lambda s: s["focus"] == "IDIR" and s["controls"]["IDIR"]["caret"] == 0,
                     "caret at the start of the blank IDIR", timeout=5)
    check_eq(s["controls"]["IDIR"]["t"], "    ", "IDIR's text")
    w.type("x")
    w.wait_text("IDIR", "x    ")
    # A field with text keeps the usual click: the caret goes where the click lands.
    w.click("LOG", 0.9)
    w.wait_state(lambda s: s["focus"] == "LOG" and s["controls"]["LOG"]["caret"] == 2,
                 "caret at the end of LOG after a click to the right of its text", timeout=5)


@case
def start_up_turns_the_insert_toggle_on(c):
    w = c.start()
    check_eq((w.start["insert_before"], w.start["insert_after"]), (0, 1),
             "the Insert toggle before and after start-up")
    check_eq(w.start["date"], "DD.MM.YYYY", "the date format")
    check_eq(w.start["folder"], wine_path(w.program_folder) + "\\", "the program folder")


# --- the window itself


@case
def the_window_as_built(c):
    w = c.start()
    s = w.ready
    check(w.window["icon"], "the window icon from resource 101")
    check_eq(w.window["tools"], 9, "controls with a tooltip")
    style = w.window["style"] & 0xFFFFFFFF
    for bit, name, want in ((0x00C00000, "caption", True), (0x00080000, "system menu", True),
                            (0x00020000, "minimize box", False),
                            (0x00010000, "maximize box", False)):
        check_eq(bool(style & bit), want, f"the window's {name}")
    ctl = s["controls"]
    for name in ("ENDDIALOG", "WKAM", "TLKAM", "IDIR", "LOG", "HES", "SPUSTIT", "WISERV",
                 "ULOZIT", "NZAS", "NZNET", "POCDNU", "ZALOZKARTU"):
        check(ctl[name]["e"] and ctl[name]["v"], f"{name} enabled and visible")
    check(not ctl["FTPRO"]["v"], "FTPRO hidden before the first run")
    for name, limit in (("WKAM", 60), ("IDIR", 60), ("LOG", 30), ("HES", 30),
                        ("WISERV", 128), ("POCDNU", 2)):
        check_eq(ctl[name]["limit"], limit, f"{name}'s text limit")
    for name in ("FTPOCO", "FTPOCP", "FTPCHY", "FTPDOB", "FTKCHY", "FTKDOB"):
        check_eq(ctl[name]["t"], "0", name)
    # Typing past the limit and letters into the days field.
    w.focus("POCDNU")
    w.type("a1b23")
    w.wait_text("POCDNU", "12")
    w.focus("LOG")
    w.type("x" * 35)
    w.wait_text("LOG", "x" * 30)


@case
def tooltips_show_for_the_listed_controls_only(c):
    w = c.start()
    with_tip = ["WKAM", "TLKAM", "IDIR", "SPUSTIT", "WISERV", "ULOZIT", "NZAS", "NZNET",
                "POCDNU"]
    without = ["ENDDIALOG", "ZALOZKARTU", "LOG", "HES", "LV"]
    shown = set()
    for name in with_tip + without:
        mark = w.mark()
        x, y = w.centre(name)
        subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True, timeout=30)
        try:
            e = w.wait_event("tooltip", after=mark, timeout=2.5)
            shown.add(e["c"])
        except DriverError:
            pass
        # Away from every control, so the next tooltip starts afresh.
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=30)
        time.sleep(0.3)
    check_eq(sorted(shown), sorted(with_tip), "controls that showed a tooltip")


@case
def the_close_box_ends_the_program_like_konec(c):
    w = c.start()
    w.focus("WKAM")
    w.click_at(*w.close_box_point())
    w.wait_event("close_box", timeout=10)
    w.wait_event("end", timeout=10)
    check_eq(w.wait_exit(), 0, "the exit status after the close box")
    w2 = c.start("program2")
    w2.click("ENDDIALOG")
    w2.wait_event("end", timeout=10)
    check_eq(w2.wait_exit(), 0, "the exit status after Konec")


@case
def saved_settings_come_back_after_a_restart(c):
    w = c.start()
    values = [("WKAM", "Z:\\tmp\\kontor"), ("WISERV", "http://127.0.0.1:9/export.php"),
              ("IDIR", "ftp.example.cz/sklad"), ("LOG", "novák"), ("HES", "Tajné1")]
    for name, text in values:
        w.fill(name, text)
    w.focus("POCDNU")
    w.type("7")
    w.click("NZAS")
    w.click("ZALOZKARTU")
    w.wait_state(lambda s: s["controls"]["NZAS"]["c"] and s["controls"]["ZALOZKARTU"]["c"],
                 "both boxes checked")
    mark = w.mark()
    w.click("ULOZIT")
    w.wait_event("click", after=mark, where=lambda e: e["c"] == "ULOZIT")
    time.sleep(0.5)
    boxes = [e for e in w.events()[mark:] if e["ev"] == "box"]
    check_eq(boxes, [], "boxes of a save")
    names = {n.upper() for n in os.listdir(w.program_folder)}
    check("ESH_NAS.DBF" in names, f"ESH_NAS.DBF in the program folder ({sorted(names)})")
    w.click("ENDDIALOG")
    w.wait_exit()

    w2 = c.start()  # the same program folder
    ctl = w2.ready["controls"]
    for name, text in values:
        check_eq(ctl[name]["t"], text, f"{name} after the restart")
    check_eq(ctl["POCDNU"]["t"], "7", "POCDNU after the restart")
    check_eq((ctl["NZAS"]["c"], ctl["NZNET"]["c"], ctl["ZALOZKARTU"]["c"]), (True, False, True),
             "NZAS, NZNET, ZALOZKARTU after the restart")


@case
def the_folder_button_opens_the_folder_dialog(c):
    w = c.start()
    w.fill("WKAM", "Z:\\tmp")
    mark = w.mark()
    w.click("TLKAM")
    box = w.wait_event("box", after=mark, timeout=20)
    check_eq((box["kind"], box["text"], box["owned"]), ("folder", "Pro zálohu dat", True),
             "the folder dialog")
    time.sleep(1.0)
    w.key("Escape")  # cancelled: nothing changes
    closed = w.wait_event("box_closed", after=mark, timeout=20)
    check_eq(closed["folder"], "", "the folder of a cancelled dialog")
    time.sleep(0.3)
    check_eq(w.control("WKAM")["t"], "Z:\\tmp", "WKAM after a cancelled dialog")
    check_eq([e for e in w.events()[mark:] if e["ev"] == "box" and e["kind"] != "folder"], [],
             "boxes after a cancelled dialog")


# --- a whole import


def start_shop(c, document):
    doc = os.path.join(c.dir, "export.txt")
    with open(doc, "wb") as f:
        f.write(document)
    port_file = os.path.join(c.dir, "port")
    log = open(os.path.join(c.dir, "shop.log"), "wb")
    shop = subprocess.Popen(["wine", os.path.join(c.build, "tools", "sample_shop.exe"),
                             "--document", wine_path(doc), "--port-file", wine_path(port_file),
                             "--seconds", "300"], env=c.env, stdin=subprocess.DEVNULL,
                            stdout=log, stderr=subprocess.STDOUT)
    for _ in range(200):
        if os.path.exists(port_file) and open(port_file).read().strip():
            return shop, int(open(port_file).read()), log.name
        if shop.poll() is not None:
            break
        time.sleep(0.1)
    raise DriverError(f"the sample shop did not start: {open(log.name).read()}")


# The index files of each accounting table, by the start of their names.
INDEXES = {"ZAK": ["CIZA", "NZAK", "TCIZA", "INAZAK", "ISPZZ"],
           "DOOD": ["IICO", "NAZO", "IFIRM"],
           "ZAS": ["Mater", "Iczas", "Iskp", "Iean", "Ipdod", "Idrzas", "Smater"],
           "POZAD": ["IPOZZ", "IPOZF", "IPOZC", "IPOCF", "IPOZR"]}


def dbftool(c, *args):
    return c.wine(os.path.join(c.build, "tools", "dbftool.exe"), *args)


def check_folder(c, data, when):
    """dbftool check of the folder in the window's key order; its output."""
    rc, out = dbftool(c, "check", wine_path(data), "--collation", "windows")
    check_eq(rc, 0, f"dbftool check of the folder {when} the run:\n{out}")
    return out


def file_named(folder, name):
    """The file of that name in folder, whatever the case the fixture gave it."""
    return next(os.path.join(folder, f) for f in os.listdir(folder) if f.upper() == name)


def stop(*procs):
    for p in procs:
        if p and p.poll() is None:
            p.kill()
            p.wait(timeout=10)


def start_against_shop(c, data, port):
    """The window with the data folder and the shop's address filled in."""
    w = c.start()
    w.fill("WKAM", wine_path(data))
    w.fill("WISERV", f"http://127.0.0.1:{port}")
    return w


def end_with_konec(w):
    w.click("ENDDIALOG")
    check_eq(w.wait_exit(), 0, "the exit status")


def locale_ordered_copy(c, fixture, data):
    """A fixture folder with every index rebuilt in this Windows' locale order, as the
    accounting program on the same machine keeps them: the window sorts by the locale."""
    shutil.copytree(os.path.join(c.fixtures, fixture), data)
    files = {f.upper(): f for f in os.listdir(data)}
    for table, stems in INDEXES.items():
        paths = [wine_path(os.path.join(data, f)) for stem in stems
                 for f in files.values()
                 if os.path.splitext(f)[0].upper() == stem.upper() and f.upper().endswith(("X",))]
        check_eq(len(paths), len(stems), f"index files of {table}")
        rc, out = dbftool(c, "reindex", wine_path(os.path.join(data, files[table + ".DBF"])),
                          *paths, "--collation", "windows")
        check_eq(rc, 0, f"dbftool reindex of {table}: {out}")


@case
def a_whole_import_against_a_loopback_shop(c):
    data = os.path.join(c.dir, "data")
    locale_ordered_copy(c, "small-mixed-bin-s1", data)
    check_folder(c, data, "before")
    shop, port, shop_log = start_shop(c, order_document.fixture_orders())
    try:
        w = start_against_shop(c, data, port)
        w.focus("POCDNU")
        w.type("14")
        w.click("ZALOZKARTU")
        w.wait_state(lambda s: s["controls"]["ZALOZKARTU"]["c"], "ZALOZKARTU checked")
        mark = w.mark()
        w.click("SPUSTIT")
        box = w.wait_event("box", after=mark, timeout=120)
        check_eq((box["kind"], box["caption"], box["text"], box["owned"]),
                 ("warning", "Oznámení", "Přenos objednávek ukončen.", True), "the closing box")
        during = w.events()[mark:]
        # While the run went on: the controls it disables, the busy pointer, the phases.
        disabled = {e["c"] for e in during if e["ev"] == "set_enabled" and not e["v"]}
        check_eq(disabled, {"WKAM", "TLKAM", "WISERV", "SPUSTIT", "ULOZIT", "ENDDIALOG"},
                 "controls disabled by the run")
        check(any(e["ev"] == "set_busy" and e["v"] for e in during), "the busy pointer")
        check(any(e["ev"] == "set_visible" and e["c"] == "FTPRO" and e["v"] for e in during),
              "FTPRO shown")
        phases = [e["v"] for e in during if e["ev"] == "set_text" and e["c"] == "FTPC"]
        check(len(phases) >= 3 and phases[-1] == "Hotovo", f"the phase texts {phases}")
        w.key("Return")  # the box's OK
        w.wait_event("box_closed", after=mark, timeout=10)
        s = w.wait_state(lambda s: s["controls"]["SPUSTIT"]["e"] and not s["busy"],
                         "the window usable again", timeout=20)
        ctl = s["controls"]
        for name, enabled in (("WKAM", True), ("TLKAM", True), ("SPUSTIT", True),
                              ("ENDDIALOG", True), ("WISERV", False), ("ULOZIT", False)):
            check_eq(ctl[name]["e"], enabled, f"{name} enabled after the run")
        texts = {n: ctl[n]["t"] for n in ("FTPC", "FTPSTATUS", "FTPOCO", "FTPOCP", "FTPDOB",
                                          "FTPCHY", "FTKDOB", "FTKCHY")}
        check_eq(texts, {"FTPC": "Hotovo", "FTPSTATUS": "Přenos objednávek ukončen",
                         "FTPOCO": "    4", "FTPOCP": "    5", "FTPDOB": "   2",
                         "FTPCHY": "   2", "FTKDOB": "   3", "FTKCHY": "   1"},
                 "the counters and texts after the run")
        rows = [e["cells"] for e in w.events()[mark:] if e["ev"] == "add_row"]
        check_eq(rows, [["    5001", "Není číslo položky"], ["2023000001", "Je již evidována"],
                        ["    5002", "Nemá položky"]], "the rejected records")
        check_eq(s["rows"], 3, "rows in the list view")
        if c.artefacts:
            os.makedirs(c.artefacts, exist_ok=True)
            time.sleep(0.5)
            w.click_at(1, 1)  # the pointer off the window, so no tooltip covers it
            time.sleep(0.5)
            win = w.window
            screenshot(os.path.join(c.artefacts, "window.png"),
                       (win["left"], win["top"], win["right"], win["bottom"]))
        # The shop got the document request and then the confirmation.
        deadline = time.monotonic() + 10
        while "taken over" not in open(shop_log).read() and time.monotonic() < deadline:
            time.sleep(0.1)
        check("taken over" in open(shop_log).read(),
              f"the confirmation reached the shop: {open(shop_log).read()}")
        end_with_konec(w)
    finally:
        stop(shop)
    # Every table and index of the folder is sound for the table utility afterwards, in the
    # order the window kept.
    out = check_folder(c, data, "after")
    check(out.count("OK") >= 20, f"dbftool check listed the indexes:\n{out}")


@case
def a_held_counter_asks_retry_or_cancel_and_a_retry_goes_on(c):
    data = os.path.join(c.dir, "data")
    locale_ordered_copy(c, "small-mixed-bin-s1", data)
    posci = file_named(data, "POSCI.DBF")
    shop, port, shop_log = start_shop(c, order_document.fixture_orders())
    holder = None
    try:
        w = start_against_shop(c, data, port)
        # Another workstation has the partner counter in exclusive use for a few seconds.
        hold_out = os.path.join(c.dir, "hold.txt")
        holder = subprocess.Popen(["wine", os.path.join(c.build, "tools", "dbftool.exe"), "hold",
                                   wine_path(posci), "6"], env=c.env, stdin=subprocess.DEVNULL,
                                  stdout=open(hold_out, "wb"), stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while b"holding" not in open(hold_out, "rb").read():
            check(time.monotonic() < deadline and holder.poll() is None,
                  f"dbftool hold started: {open(hold_out, 'rb').read()!r}")
            time.sleep(0.1)
        mark = w.mark()
        w.click("SPUSTIT")
        box = w.wait_event("box", after=mark, timeout=60)
        check_eq((box["kind"], box["caption"], box["owned"], box["style"], box["busy"]),
                 ("question", "Akce odmítnuta!", True, 0x25, True), "the retry question")
        check_eq(box["text"], "Data právě používá jiný uživatel\rnebo jsou otevřena v jiném okně!"
                 "\rOpakovat?", "the retry question's text")
        holder.wait(timeout=30)  # the other workstation lets go
        w.key("Return")  # "Opakovat", the default button
        closed = w.wait_event("box_closed", after=mark, timeout=10)
        check_eq(closed["reply"], 4, "the reply (IDRETRY)")
        done = w.wait_event("box", after=mark, timeout=60, where=lambda e: e["kind"] != "question")
        check_eq((done["caption"], done["text"]), ("Oznámení", "Přenos objednávek ukončen."),
                 "the box after the retry")
        asked = [e for e in w.events()[mark:] if e["ev"] == "box" and e["kind"] == "question"]
        check_eq(len(asked), 1, "retry questions")
        w.key("Return")
        s = w.wait_state(lambda s: s["controls"]["SPUSTIT"]["e"], "the window usable", 20)
        check_eq(s["controls"]["FTPDOB"]["t"], "   2", "orders written after the retry")
        end_with_konec(w)
    finally:
        stop(shop, holder)
    check_folder(c, data, "after")


@case
def an_unexpected_error_shows_its_box_and_leaves_the_window_usable(c):
    data = os.path.join(c.dir, "data")
    locale_ordered_copy(c, "small-mixed-bin-s1", data)
    # CIZA.NTX damaged past its header: the posting meets it.
    ciza = file_named(data, "CIZA.NTX")
    size = os.path.getsize(ciza)
    with open(ciza, "r+b") as f:
        f.seek(1024)
        f.write(b"\xff" * (size - 1024))
    shop, port, shop_log = start_shop(c, order_document.fixture_orders())
    try:
        w = start_against_shop(c, data, port)
        mark = w.mark()
        w.click("SPUSTIT")
        box = w.wait_event("box", after=mark, timeout=120, where=lambda e: e["kind"] == "error")
        check("CIZA" in box["text"].upper(), f"the error box names the index: {box['text']}")
        w.key("Return")
        w.wait_event("box_closed", after=mark, timeout=10,
                     where=lambda e: e["caption"] == box["caption"])
        s = w.wait_state(lambda s: s["controls"]["SPUSTIT"]["e"] and not s["busy"],
                         "the window usable after the error", timeout=20)
        for name in ("WKAM", "TLKAM", "ENDDIALOG"):
            check(s["controls"][name]["e"], f"{name} enabled after the error")
        logs = {f.upper(): f for f in os.listdir(w.program_folder)}
        check("ESH_ERR.LOG" in logs, f"the error log in the program folder ({sorted(logs)})")
        err = open(os.path.join(w.program_folder, logs["ESH_ERR.LOG"]), "rb").read()
        check(b"CIZA" in err.upper(), f"the error log names the index: {err[:300]!r}")
        run_log = open(os.path.join(w.program_folder, logs["ESH_RUN.LOG"]), "rb").read()
        check("Konec: ukončen neočekávanou chybou".encode() in run_log,
              f"the run log's block of the run: {run_log[-600:]!r}")
        check("taken over" not in open(shop_log).read(), "no confirmation after the error")
        end_with_konec(w)
    finally:
        stop(shop)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--fixtures", required=True)
    p.add_argument("--artefacts")
    p.add_argument("--keep", action="store_true", help="keep the scratch folder")
    p.add_argument("--list", action="store_true", help="print the cases and stop")
    p.add_argument("cases", nargs="*")
    args = p.parse_args()
    if args.list:
        print(";".join(CASES))
        return 0
    names = args.cases or list(CASES)
    prepare = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                           "wine-prefix.sh")
    subprocess.run(["bash", prepare, os.path.join(os.path.abspath(args.build), "wineprefix")],
                   check=True, timeout=600, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    failed = 0
    for name in names:
        if name not in CASES:
            print(f"window_test: no case {name} (cases: {', '.join(CASES)})")
            return 2
        c = Context(args)
        started = time.monotonic()
        try:
            CASES[name](c)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)")
            c.close(args.keep)
        except Exception:  # noqa: BLE001 - every failure is reported with its case
            failed += 1
            print(f"FAIL {name} ({time.monotonic() - started:.1f} s)")
            traceback.print_exc(file=sys.stdout)
            for w in c.windows:
                print(f"--- last trace lines of {w.program_folder}")
                for line in open(w.trace.path, encoding="utf-8").read().splitlines()[-15:]:
                    print(line[:400])
            print(f"--- scratch kept in {c.dir}")
            c.close(keep=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
