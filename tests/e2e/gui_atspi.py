#!/usr/bin/python3
"""Drives bexo-z0 through the accessibility interface, as a user or a screen reader meets it.

Runs inside the private namespace of gui_atspi.sh (the test) or of the demo's tour, with the
program on a virtual display and its accessibility switched on. Qt does not publish objectNames,
so controls are found by role and by the name a reader announces; buttons are pressed through
their action, a list row is clicked with the pointer (the list acts on the click itself), a popup
menu is worked with keys. A press returns before the program has acted on it, so every result is
polled for, with generous deadlines (BEXO_GUI_TIME_SCALE multiplies them).

usage: gui_atspi.py --cli CLI --shots DIR [--net A.B.C] [--pid PID] [--sim-log LOG]
                    [--loader-log LOG] [--firmware BIN] [--serial-port PATH] [--tour] STEP...
steps: search read save profile login com comq1 titles chinese upgrade fleet quit"""

import argparse
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

SCALE = float(os.environ.get("BEXO_GUI_TIME_SCALE", "1"))
# How long a call into the program may take: long enough for a loaded machine, enforced from the
# start (no grace period for a program that has just started).
CALL_TIMEOUT_MS, SHORT_CALL_MS = 25000, 500

# The simulated modules the scripts start (tests/e2e/gui_atspi.sh, scripts/demo-gui-inner.sh),
# at these hosts of the network given by --net.
Q2 = {"name": "Workshop-Q2", "host": 7, "mac": "00 1A 2B 3C 4D 5E"}
LOCKED = {"name": "Locked-Q2", "host": 9, "mac": "00 1A 2B 3C 4D 61", "password": "bexo7"}
Q3 = {"name": "Gate-Q3", "host": 20}
# Restarted together; the twin answers with the first one's address.
FLEET = [{"name": "Fleet-%d" % i, "mac": "00 1A 2B 3C 4D 7%d" % i, "ip": "10.77.81.1%d" % i} for i in (1, 2, 3)]
TWIN = {"name": "Twin-1", "mac": "00 1A 2B 3C 4D 74"}
FAR = {"name": "Far-Q2", "ip": "10.77.83.20", "range": "10.77.83.16/28"}
RESULT_COLUMN = 6  # lv_Dev's result column (after the two hidden ones)
SERIAL_Q2 = "Serial-Q2"  # the name bexo-z0-sim serial gives its Q2 module
SERIAL_Q1_IP = "192.168.0.7"  # the module address of its Q1 module
NEW_NAME, NEW_PORT = "GUI-Renamed", "6001"
# Three more Q2 modules for the profile step: the one a profile is saved from, and two it goes to.
PUMPS = [{"name": "Pump-%d" % i, "host": 10 + i, "mac": "00 1A 2B 3C 4D 8%d" % i} for i in (1, 2, 3)]

KEY_DOWN, KEY_RETURN = 0xFF54, 0xFF0D
CONTROL_MASK = 1 << 2  # X's modifier bit of the Control keys
# The device list's popup items in their order (the separator takes no key press).
POPUP_ORDER = ["lang_mni_OpenWeb", "lang_mni_Restart", "lang_mni_FirmwareUp", "lang_mni_Reset",
               "lang_mni_CopyTheMac", "lang_mni_CopeAllMac"]


class Failure(Exception):
    pass


def running(pid):
    """The process exists and has not ended (an ended one waits as a zombie for its parent)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


class Session:
    def __init__(self, args):
        self.args = args
        self.cli = args.cli
        for module in (Q2, LOCKED, Q3, *PUMPS):
            module["ip"] = "%s.%d" % (args.net, module["host"])
        self.lang = "en"
        self.texts = {}
        self.shot_number = 0
        os.makedirs(args.shots, exist_ok=True)
        self.app = None
        self.frame = None
        # Popup menus are windows of their own, outside the program's tree: they are met through
        # the event that says one has come up.
        self.popups = []
        pyatspi.setTimeout(CALL_TIMEOUT_MS, -1)
        pyatspi.Registry.registerEventListener(self._showing, "object:state-changed:showing")

    def _showing(self, event):
        try:
            if event.detail1 and event.source.getRole() == pyatspi.ROLE_POPUP_MENU:
                self.popups.append(event.source)
        except GLib.Error:
            pass

    @staticmethod
    def pump():
        """Delivers the events that have arrived."""
        context = GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    # ---- texts, screenshots, waiting

    def t(self, key, lang=None):
        """The text of a language key, as the program shows it."""
        lang = lang or self.lang
        if (key, lang) not in self.texts:
            out = subprocess.run([self.cli, "--lang", lang, "text", key], capture_output=True, check=True)
            self.texts[key, lang] = out.stdout.decode("utf-8").rstrip("\n")
        return self.texts[key, lang]

    def shot(self, name):
        self.shot_number += 1
        path = os.path.join(self.args.shots, "%02d-%s.png" % (self.shot_number, name))
        # The windows without the empty screen around them.
        subprocess.run(["import", "-window", "root", "-trim", "+repage", path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("screenshot: %s" % path, flush=True)
        return path

    def until(self, what, probe, seconds=20):
        """Polls probe until it returns something true; a lookup that races with the window
        changing counts as not yet."""
        deadline = time.monotonic() + seconds * SCALE
        last_error = None
        while True:
            self.pump()
            if self.args.pid and not running(self.args.pid):
                raise Failure("bexo-z0 ended while waiting for %s" % what)
            try:
                result = probe()
                if result:
                    return result
            except (GLib.Error, LookupError, AttributeError, NotImplementedError, IndexError) as e:
                last_error = e
            if time.monotonic() > deadline:
                self.shot("failed-" + re.sub(r"[^a-z0-9]+", "-", what.lower())[:40])
                raise Failure("timed out: %s%s" % (what, " (last error: %s)" % last_error if last_error else ""))
            time.sleep(0.25)

    def step(self, text):
        print("gui: " + text, flush=True)

    # ---- finding controls

    def find_app(self):
        def probe():
            for a in pyatspi.Registry.getDesktop(0):
                if a is not None and a.name == "bexo-z0" and a.childCount > 0:
                    return a
        self.app = self.until("bexo-z0 on the accessibility bus", probe, 60)
        return self.app

    @staticmethod
    def showing(acc):
        return acc.getState().contains(pyatspi.STATE_SHOWING)

    def walk(self, root, hidden=False):
        """Breadth first; subtrees that are not on screen are left out unless hidden."""
        queue = [root]
        while queue:
            node = queue.pop(0)
            yield node
            for i in range(node.childCount):
                child = node.getChildAtIndex(i)
                if child is not None and (hidden or self.showing(child)):
                    queue.append(child)

    def find(self, role, name=None, root=None, hidden=False, match=None):
        for node in self.walk(root or self.app, hidden):
            if node.getRole() == role and (name is None or node.name == name) and (match is None or match(node)):
                return node
        return None

    def window(self, title):
        """A top-level window of the program by its title."""
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and w.name == title and self.showing(w):
                return w
        return None

    def need(self, what, role, name, root=None, seconds=20):
        return self.until(what, lambda: self.find(role, name, root), seconds)

    # ---- acting

    @staticmethod
    def do(acc, action, short=False):
        """Runs an accessible action. With short, the call does not wait for an answer: an action
        that opens a modal dialog answers only when the dialog closes."""
        iface = acc.queryAction()
        names = [iface.getName(i) for i in range(iface.nActions)]
        if action not in names:
            raise Failure("%r offers %s, not %s" % (acc.name, names, action))
        if short:
            pyatspi.setTimeout(SHORT_CALL_MS, -1)
        try:
            iface.doAction(names.index(action))
        except GLib.Error:
            if not short:
                raise
        finally:
            if short:
                pyatspi.setTimeout(CALL_TIMEOUT_MS, -1)

    def press(self, button):
        self.do(button, "Press")

    @staticmethod
    def centre(acc):
        box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return box.x + box.width // 2, box.y + box.height // 2

    def click(self, acc, button=1):
        x, y = self.centre(acc)
        pyatspi.Registry.generateMouseEvent(x, y, "b%dc" % button)

    @staticmethod
    def key(keysym):
        pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)

    @staticmethod
    def text_of(acc):
        return acc.queryText().getText(0, -1)

    def set_text(self, acc, value):
        acc.queryEditableText().setTextContents(value)
        self.until("%r to read %r" % (acc.name, value), lambda: self.text_of(acc) == value, 10)

    # ---- the main window's parts

    def device_list(self):
        return self.find(pyatspi.ROLE_TREE, self.t("lang_rztbsht_Net"))

    def rows(self):
        """The rows of lv_Dev as lists of the shown cells' texts."""
        table = self.device_list().queryTable()
        return [[table.getAccessibleAt(r, c).name for c in range(min(table.nColumns, 4))]
                for r in range(table.nRows)]

    def row_cell(self, name):
        table = self.device_list().queryTable()
        for r in range(table.nRows):
            if table.getAccessibleAt(r, 1).name == name:
                return table.getAccessibleAt(r, 1)
        return None

    def log(self):
        pane = self.find(pyatspi.ROLE_TEXT, self.t("lang_rztbsht_Log"))
        return self.text_of(pane) if pane else ""

    def field(self, key):
        """A showing edit named by the label of key."""
        return self.find(pyatspi.ROLE_TEXT, self.t(key))

    def menu_item(self, menu_key, item_key):
        bar = self.find(pyatspi.ROLE_MENU_BAR)
        menu = self.find(pyatspi.ROLE_MENU_ITEM, self.t(menu_key), bar)
        item = self.find(pyatspi.ROLE_MENU_ITEM, self.t(item_key), menu, hidden=True)
        if item is None:
            raise Failure("no menu item %s > %s" % (self.t(menu_key), self.t(item_key)))
        return item

    def ctrl_click(self, acc):
        """A click with Control held, as a user adds a row to the selection."""
        pyatspi.Registry.generateKeyboardEvent(CONTROL_MASK, None, pyatspi.KEY_LOCKMODIFIERS)
        try:
            self.click(acc)
        finally:
            pyatspi.Registry.generateKeyboardEvent(CONTROL_MASK, None, pyatspi.KEY_UNLOCKMODIFIERS)

    def selected_rows(self):
        return [r for r in range(self.device_list().queryTable().nRows)
                if self.device_list().queryTable().isRowSelected(r)]

    def context_menu(self, cell, item_key, order=None):
        """Right-clicks a row and chooses an item of its popup with the keys, as a user would:
        Down once per enabled item up to it, then Return. Without the popup's items to look at, the
        keys follow order: the enabled items (every item of a Q2 row's popup unless told)."""
        self.popups.clear()
        self.click(cell, 3)
        try:
            menu = self.until("the row's popup menu", lambda: self.popups and self.popups[-1], 10)
        except Failure:
            menu = None
        if menu is None:
            # Qt lists no popup among the program's windows, so a missed showing event leaves only
            # the keys (seen once in many runs). The next step checks that the right window came.
            print("gui:   the popup's showing event was missed; choosing by the items' order", flush=True)
            downs = (order or POPUP_ORDER).index(item_key) + 1
        else:
            downs = 0
            for i in range(menu.childCount):
                item = menu.getChildAtIndex(i)
                if item.getRole() != pyatspi.ROLE_MENU_ITEM or not item.getState().contains(pyatspi.STATE_ENABLED):
                    continue
                downs += 1
                if item.name == self.t(item_key):
                    break
            else:
                raise Failure("the popup has no enabled item %r" % self.t(item_key))
        for _ in range(downs):
            self.key(KEY_DOWN)
        self.key(KEY_RETURN)

    def sim_log(self):
        with open(self.args.sim_log, encoding="utf-8", errors="replace") as f:
            return f.read()

    def sim_fleet_log(self):
        with open(self.args.sim_fleet_log, encoding="utf-8", errors="replace") as f:
            return f.read()

    def row_of(self, name):
        table = self.device_list().queryTable()
        for r in range(table.nRows):
            if table.getAccessibleAt(r, 1).name == name:
                return r
        return None

    def cell(self, name, column):
        r = self.row_of(name)
        return None if r is None else self.device_list().queryTable().getAccessibleAt(r, column)

    def question(self, text):
        """A showing window of the program that asks text."""
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and self.showing(w) and self.find(pyatspi.ROLE_LABEL, text, w):
                return w
        return None

    # ---- steps

    def start(self):
        self.find_app()
        title = self.until("the main window", lambda: self.find(pyatspi.ROLE_FRAME, root=self.app), 60)
        self.frame = title
        self.step("main window '%s' is up" % title.name)
        self.until("the search button", self.device_list, 30)
        self.shot("start")

    def search(self):
        self.step("search")
        self.press(self.need("the search button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_Search")))
        wanted = {Q2["name"], LOCKED["name"], Q3["name"]}

        def listed():
            names = {row[1] for row in self.rows()}
            return wanted <= names and self.rows()
        rows = self.until("the simulated modules in the device list", listed, 30)
        for row in rows:
            self.step("  listed: " + "  ".join(row))
        q2 = [row for row in rows if row[1] == Q2["name"]][0]
        if q2[0] != Q2["ip"] or q2[2] != Q2["mac"]:
            raise Failure("the row of %s shows %s" % (Q2["name"], q2))
        self.shot("search")

    def several(self):
        """Three rows chosen with Ctrl, Restart: one confirmation, a restart frame to each module,
        each row's result in the result column and one summary line. The twin's row warns."""
        self.step("restart %s at once" % ", ".join(m["name"] for m in FLEET))
        cells = [self.until("the row of " + m["name"], lambda m=m: self.row_cell(m["name"]), 30) for m in FLEET]
        self.click(cells[0])
        for c in cells[1:]:
            self.ctrl_click(c)
        names = {m["name"] for m in FLEET}
        wanted = sorted(r for r, row in enumerate(self.rows()) if row[1] in names)
        self.until("three rows selected", lambda: self.selected_rows() == wanted, 10)
        before = self.sim_fleet_log().count(": restarting")
        self.context_menu(cells[2], "lang_mni_Restart",
                          order=["lang_mni_Restart", "lang_mni_FirmwareUp", "lang_mni_Reset",
                                 "lang_mni_CopyTheMac", "lang_mni_CopeAllMac"])
        asked = self.t("lang_Hint_FleetConfirm").replace("%1", self.t("lang_mni_Restart")).replace("%2", "3")
        box = self.until("the confirmation %r" % asked, lambda: self.question(asked), 20)
        self.shot("several-confirm")
        yes = self.find(pyatspi.ROLE_PUSH_BUTTON, root=box, match=lambda b: b.name.replace("&", "") == "Yes")
        if yes is None:
            raise Failure("the confirmation has no Yes button")
        self.do(yes, "Press", short=True)
        self.until("three restart frames at the modules",
                   lambda: all(("%s: restarting" % m["mac"].replace(" ", "")) in self.sim_fleet_log() for m in FLEET) and
                   self.sim_fleet_log().count(": restarting") == before + 3, 20)
        ok = self.t("lang_ts_FleetOk")
        self.until("each row's result", lambda: all(self.cell(m["name"], RESULT_COLUMN).name == ok for m in FLEET), 20)
        for m in FLEET:
            c = self.cell(m["name"], RESULT_COLUMN)
            self.step("  %s: %s (%s)" % (m["name"], c.name, c.description))
        summary = self.t("lang_Hint_FleetSummary").replace("%1", self.t("lang_mni_Restart")) \
            .replace("%2", "3").replace("%3", "3")
        self.until("the summary line %r" % summary, lambda: summary in self.log(), 10)
        warning = "IP %s is also answered by %s" % (FLEET[0]["ip"], FLEET[0]["mac"])
        twin = self.until("the warning of " + TWIN["name"],
                          lambda: self.cell(TWIN["name"], 0).description.startswith(warning) and
                          self.cell(TWIN["name"], 0), 10)
        if self.t("lang_Hint_DupIPDo") not in twin.description:
            raise Failure("the warning says not what to do: %r" % twin.description)
        if self.cell(FLEET[1]["name"], 0).description:
            raise Failure("a sound row warns: %r" % self.cell(FLEET[1]["name"], 0).description)
        self.shot("several-results")

    def range(self):
        """Addresses in the field beside the search: the search goes to them, and finds the
        module behind the router that the broadcast never reaches; it shows as found by address."""
        self.step("search by address " + FAR["range"])
        if self.row_cell(FAR["name"]):
            raise Failure("the broadcast found the module behind the router")
        field = self.until("the address field", lambda: self.field("lang_lbl_SearchRange"), 10)
        self.set_text(field, FAR["range"])
        self.press(self.need("the search button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_Search")))
        cell = self.until("the row of " + FAR["name"], lambda: self.cell(FAR["name"], 0), 30)
        if cell.name != FAR["ip"]:
            raise Failure("the row of %s shows %s" % (FAR["name"], cell.name))
        mark = self.t("lang_ts_ByAddress") + " " + FAR["ip"]
        if not cell.description.startswith(mark):
            raise Failure("the row is not marked %r: %r" % (mark, cell.description))
        if Q2["name"] in {row[1] for row in self.rows()}:
            raise Failure("a search by address also broadcast")
        self.shot("range-search")
        # Empty again: the broadcast, and the modules of the next steps.
        self.set_text(field, "")
        self.press(self.need("the search button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_Search")))
        self.until("the modules back in the list", lambda: self.row_cell(Q2["name"]), 30)

    def open_row(self, module, wait_page=True):
        cell = self.until("the row of " + module["name"], lambda: self.row_cell(module["name"]))
        self.click(cell)
        if wait_page:
            self.until("the Q2 page with the name of " + module["name"],
                       lambda: self.field("lang_Lbl_DevName") and
                       self.text_of(self.field("lang_Lbl_DevName")) == module["name"], 30)

    def read(self):
        self.step("read " + Q2["name"])
        self.open_row(Q2, wait_page=False)
        read_line = "%s [ Mac : %s ]" % (self.t("lang_ts_Read"), Q2["mac"])
        done_line = self.t("lang_ts_Read") + self.t("lang_ts_OK")
        self.until("the read in the operation log", lambda: read_line in self.log() and done_line in self.log(), 30)
        self.until("the Q2 page with the module's name",
                   lambda: self.field("lang_Lbl_DevName") and
                   self.text_of(self.field("lang_Lbl_DevName")) == Q2["name"], 30)
        port = self.text_of(self.field("lang_Lbl_LocalPort"))
        self.step("  the Q2 page shows %s, local port %s" % (Q2["name"], port))
        self.shot("q2-page")

    def save(self):
        self.step("change the name and the local port, save")
        self.set_text(self.field("lang_Lbl_DevName"), NEW_NAME)
        self.set_text(self.field("lang_Lbl_LocalPort"), NEW_PORT)
        self.shot("q2-page-edited")
        save = self.need("the save button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_ComSet"))
        self.press(save)
        mac = Q2["mac"].replace(" ", "")
        self.until("the module to restart after the write",
                   lambda: "%s: restarting" % mac in self.sim_log(), 40)
        checker = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_written_blocks.py")
        result = subprocess.run([sys.executable, checker, self.args.sim_log, NEW_NAME, NEW_PORT,
                                 "--parity-unchanged", "--heart-unchanged"], capture_output=True, text=True)
        if result.returncode != 0:
            raise Failure("the module received other changes than the name and the port:\n" +
                          result.stdout + result.stderr)
        frames = len(re.findall(r"^sim: %s: (wrote|restarting)" % mac, self.sim_log(), re.M))
        ack = self.t("lang_Hint_ACK")
        self.until("an acknowledgement in the log for each of the %d frames" % frames,
                   lambda: self.log().split("\n").count(ack) >= frames, 20)
        self.step("  the module took %d frames: only the name and the local port changed" % frames)
        self.shot("saved")

    def login(self):
        self.step("read %s, whose password differs" % LOCKED["name"])
        self.open_row(LOCKED, wait_page=False)
        title = self.t("lang_Log_Title")
        dialog = self.until("the login dialog '%s'" % title, lambda: self.window(title), 30)
        if self.t("lang_Hint_PswdErr") not in self.log():
            raise Failure("no password error in the log")
        self.shot("login")
        self.step("  the login dialog opened; enter the module's password")
        self.enter_password(dialog, LOCKED["password"])
        self.open_row(LOCKED)
        self.step("  with its password the module was read")
        # Back to the password of the other modules, through File > User config; the dialog is
        # modal, so the menu's action answers only when it closes.
        self.do(self.menu_item("lang_Menu_File", "lang_Menu_Pswd"), "Press", short=True)
        dialog = self.until("the login dialog from the menu", lambda: self.window(title), 30)
        self.enter_password(dialog, "tovak")
        self.step("  File > User config set the password back")

    def enter_password(self, dialog, value):
        title = dialog.name
        password = self.find(pyatspi.ROLE_PASSWORD_TEXT, self.t("lang_Lbl_Password"), dialog)
        if password is None:
            raise Failure("no password field named %r in the login dialog" % self.t("lang_Lbl_Password"))
        # A password field does not tell its text; what it took shows in the next read.
        password.queryEditableText().setTextContents(value)
        self.press(self.need("OK", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Log_OK"), dialog))
        self.until("the login dialog to close", lambda: not self.window(title))

    def chinese(self):
        self.step("switch to Chinese")
        self.do(self.menu_item("lang_Menu_Lang", "lang_Menu_Cn"), "Press")
        self.lang = "zh"
        self.need("the search button in Chinese", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_Search"))
        if self.device_list() is None:
            raise Failure("the device list is not named %r after the switch" % self.t("lang_rztbsht_Net"))
        for key in ("lang_rztbsht_Net", "lang_rztbsht_Com"):
            self.need("the tab " + key, pyatspi.ROLE_PAGE_TAB, self.t(key))
        self.step("  captions and names are Chinese: %s, %s" % (self.t("lang_btn_Search"), self.t("lang_rztbsht_Net")))
        self.shot("chinese")

    def com(self):
        self.step("read the Q2 module on the serial line")
        self.press(self.need("the COM tab", pyatspi.ROLE_PAGE_TAB, self.t("lang_rztbsht_Com")))
        port = self.args.serial_port

        def offers_port(node):
            return self.find(pyatspi.ROLE_LIST_ITEM, port, node, hidden=True) is not None
        combo = self.until("the simulated port in the port list",
                           lambda: self.find(pyatspi.ROLE_COMBO_BOX, match=offers_port), 20)
        if combo.name != port:
            # Opened, the list goes to the first item that begins with the typed character:
            # system ports have short names, ours is a full path.
            self.do(combo, "ShowMenu")
            self.until("the port list open", lambda: self.showing(combo.getChildAtIndex(0)), 10)
            self.key(ord("/"))
            self.key(KEY_RETURN)
            self.until("the simulated port chosen", lambda: combo.name == port, 10)
        read = self.need("the serial read button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_ComRead"))
        self.press(read)
        self.until("the Q2 page with the serial module's name",
                   lambda: self.field("lang_Lbl_DevName") and
                   self.text_of(self.field("lang_Lbl_DevName")) == SERIAL_Q2, 30)
        # The exchange listens for 2 s and closes the port; the button comes back after it.
        self.until("the serial exchange to end", lambda: read.getState().contains(pyatspi.STATE_ENABLED), 20)
        self.step("  %s read over %s" % (SERIAL_Q2, port))
        self.shot("com-read")
        self.press(self.need("the LAN tab", pyatspi.ROLE_PAGE_TAB, self.t("lang_rztbsht_Net")))
        self.until("the device list again", self.device_list)

    def comq1(self):
        """A Q1 module on the serial line: the COM tab's read finds it without a model choice and
        fills the Q1 page; entering the tab again keeps the port chosen before."""
        self.step("read the Q1 module on the serial line")
        port = self.args.serial_port_q1
        self.press(self.need("the COM tab", pyatspi.ROLE_PAGE_TAB, self.t("lang_rztbsht_Com")))

        def offers_port(node):
            return self.find(pyatspi.ROLE_LIST_ITEM, port, node, hidden=True) is not None
        combo = self.until("the Q1 port in the port list", lambda: self.find(pyatspi.ROLE_COMBO_BOX, match=offers_port), 20)
        if self.args.serial_port and "com" in self.args.steps[:self.args.steps.index("comq1")]:
            if combo.name != self.args.serial_port:
                raise Failure("entering the COM tab chose %r, not the port chosen before (%r)"
                              % (combo.name, self.args.serial_port))
            self.step("  the port chosen before is kept: " + combo.name)
        # Opened, the list is refilled without a selection: "/" goes to the first of our ports
        # (system ports have short names), and the Q1 port is the one below it (the ports named in
        # the environment follow in their order).
        self.do(combo, "ShowMenu")
        self.until("the port list open", lambda: self.showing(combo.getChildAtIndex(0)), 10)
        self.key(ord("/"))
        self.key(KEY_DOWN)
        self.key(KEY_RETURN)
        self.until("the Q1 port chosen", lambda: combo.name == port, 10)
        read = self.need("the serial read button", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_ComRead"))
        self.press(read)
        self.until("the Q1 page with the module's address",
                   lambda: self.field("lang_lbl_ModuleIP") and
                   self.text_of(self.field("lang_lbl_ModuleIP")) == SERIAL_Q1_IP, 30)
        self.until("the serial exchange to end", lambda: read.getState().contains(pyatspi.STATE_ENABLED), 20)
        if self.args.serial_q1_log:
            log = open(self.args.serial_q1_log).read()
            if "ignored read request 0xBD" not in log or "read request: q1 parameters" not in log:
                raise Failure("the Q1 module did not see the Q2 request, then its own: " + log[-400:])
        self.step("  the Q1 module read over %s after the Q2 request went unanswered" % port)
        self.shot("com-read-q1")
        self.press(self.need("the LAN tab", pyatspi.ROLE_PAGE_TAB, self.t("lang_rztbsht_Net")))
        self.until("the device list again", self.device_list)

    def x_titles(self):
        """The titles the X server has for the program's windows (the system appends the display name)."""
        out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, check=True).stdout.decode("utf-8")
        return re.findall(r'^\s+0x[0-9a-f]+ "(.*)": \("bexo-z0"', out, re.M)

    def titles(self):
        self.step("window titles")
        version = subprocess.run([self.cli, "--version"], capture_output=True, check=True).stdout.decode().split()[-1]
        suffix = " \u2014 " + self.t("lang_Main_AppTitle")
        main = self.t("lang_Main_Title") + " " + version + suffix
        self.until("the main window titled %r" % main, lambda: main in self.x_titles(), 10)
        self.do(self.menu_item("lang_Menu_Help", "lang_Menu_About"), "Press", short=True)
        about = self.t("lang_About_Title")
        dialog = self.until("the about box", lambda: self.window(about), 20)
        self.until("the about box titled %r" % (about + suffix), lambda: about + suffix in self.x_titles(), 10)
        self.step("  %s; %s" % (main, about + suffix))
        self.press(self.need("OK", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_About_OK"), dialog))
        self.until("the about box to close", lambda: not self.window(about))

    def upgrade(self):
        self.step("firmware upgrade of " + Q2["name"])
        cell = self.until("the row of " + Q2["name"], lambda: self.row_cell(Q2["name"]))
        self.click(cell)
        self.until("the Q2 page", lambda: self.field("lang_Lbl_DevName"), 30)
        title = self.t("lang_Upgrade_Title")
        self.context_menu(cell, "lang_mni_FirmwareUp")
        dialog = self.until("the upgrade window '%s'" % title, lambda: self.window(title), 30)
        ip = self.find(pyatspi.ROLE_TEXT, self.t("lang_Upgrade_lblClientIP"), dialog)
        mac = self.find(pyatspi.ROLE_TEXT, self.t("lang_Upgrade_lblClientMAC"), dialog)
        if self.text_of(ip) != Q2["ip"] or self.text_of(mac).replace(" ", "") != Q2["mac"].replace(" ", ""):
            raise Failure("the upgrade window got %s / %s" % (self.text_of(ip), self.text_of(mac)))
        self.set_text(self.find(pyatspi.ROLE_TEXT, self.t("lang_Upgrade_grpFileName"), dialog), self.args.firmware)
        self.shot("upgrade-ready")
        self.press(self.need("Program", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Upgrade_btnProgram"), dialog))
        progress = self.t("lang_Hint_UpProgress").strip()
        success = self.t("lang_Hint_UpSuccess").strip()

        def status():
            label = self.find(pyatspi.ROLE_LABEL, root=dialog,
                              match=lambda n: n.name.strip().startswith(progress) or n.name.strip() == success)
            return label.name.strip() if label else ""
        if self.args.tour:
            # Mid-transfer: the loader acknowledges slowly.
            def halfway():
                m = re.search(r"(\d+)%", status())
                return m and 25 <= int(m.group(1)) < 100
            self.until("the transfer under way", halfway, 60)
            self.shot("upgrade-transfer")
        self.until("'%s'" % success, lambda: status() == success, 120)
        self.step("  " + success)
        self.shot("upgrade-done")
        if self.args.loader_log:
            self.until("the boot loader's verdict", lambda: "image matches" in open(self.args.loader_log).read(), 20)
        self.press(self.need("Exit", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Upgrade_btnExit"), dialog))
        self.until("the upgrade window to close", lambda: not self.window(title))

    def fleet(self):
        """Two rows chosen with Ctrl, Firmware upgrade: the fleet view upgrades both modules side
        by side, and each comes back after its upgrade with its firmware shown."""
        modules = (Q2, LOCKED)
        self.step("firmware upgrade of %s and %s at once" % tuple(m["name"] for m in modules))
        first = self.until("the row of " + Q2["name"], lambda: self.row_cell(Q2["name"]))
        self.click(first)
        self.ctrl_click(self.row_cell(LOCKED["name"]))
        wanted = sorted(r for r, row in enumerate(self.rows()) if row[1] in {m["name"] for m in modules})
        self.until("both rows selected", lambda: self.selected_rows() == wanted, 10)
        title = self.t("lang_Upgrade_Title")
        self.context_menu(self.row_cell(LOCKED["name"]), "lang_mni_FirmwareUp",
                          order=["lang_mni_FirmwareUp", "lang_mni_CopeAllMac"])
        dialog = self.until("the upgrade window '%s'" % title, lambda: self.window(title), 30)
        modules_list = self.until("the list of modules",
                                  lambda: self.find(pyatspi.ROLE_TREE_TABLE, self.t("lang_Upgrade_grpModules"), dialog) or
                                  self.find(pyatspi.ROLE_TREE, self.t("lang_Upgrade_grpModules"), dialog) or
                                  self.find(pyatspi.ROLE_TABLE, self.t("lang_Upgrade_grpModules"), dialog), 10)
        if self.find(pyatspi.ROLE_TEXT, self.t("lang_Upgrade_lblClientIP"), dialog):
            raise Failure("the fleet view still shows the one module's address field")
        table = modules_list.queryTable()

        def cells():
            return [[table.getAccessibleAt(r, c).name for c in range(table.nColumns)] for r in range(table.nRows)]
        listed = self.until("both modules in the list", lambda: len(cells()) == 2 and cells(), 10)
        macs = {row[0] for row in listed}
        if macs != {m["mac"] for m in modules}:
            raise Failure("the fleet view lists %s" % listed)
        self.set_text(self.find(pyatspi.ROLE_TEXT, self.t("lang_Upgrade_grpFileName"), dialog), self.args.firmware)
        self.shot("fleet-ready")
        self.press(self.need("Program", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Upgrade_btnProgram"), dialog))
        progress = self.t("lang_Hint_UpProgress").strip()

        def under_way():
            return any(row[4].startswith(progress) and 10 <= int(re.search(r"(\d+)%", row[4]).group(1)) < 100
                       for row in cells())
        self.until("a transfer under way", under_way, 60)
        stop = self.find(pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Upgrade_btnStop"), dialog)
        if stop is None or not stop.getState().contains(pyatspi.STATE_ENABLED):
            raise Failure("no Stop button to press while the modules are upgraded")
        self.shot("fleet-transfer")
        back = self.t("lang_Hint_UpFleetBack").strip()
        done = self.until("both modules back after their upgrade",
                          lambda: all(row[4].startswith(back) for row in cells()) and cells(), 120)
        for row in done:
            self.step("  %s: %s" % (row[0], row[4]))
        self.shot("fleet-done")
        if self.args.loader_log:
            self.until("both boot loaders' verdicts",
                       lambda: open(self.args.loader_log).read().count("image matches") >= 2, 20)
        self.press(self.need("Exit", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_Upgrade_btnExit"), dialog))
        self.until("the upgrade window to close", lambda: not self.window(title))
        # One row again: the window of one module, as before.
        self.click(first)

    def profile(self):
        """A profile the CLI saved from one module, applied in the window (File > Apply profile)
        to two others: each of them then holds the source's settings and its own identity, and
        the module not chosen is left as it was (the simulator's state file)."""
        source, first, second = PUMPS
        self.step("profile saved by the CLI from %s, applied to %s and %s" % (source["name"], first["name"],
                                                                               second["name"]))
        cli = [self.cli, "--interface", self.args.net + ".1", "--wait", "600"]
        digits = source["mac"].replace(" ", "")
        subprocess.run(cli + ["write", digits, "LocalPort=7001", "Parity=EVEN", "PackLen=512"], check=True,
                       capture_output=True)
        path = os.path.join(os.path.dirname(os.path.abspath(self.args.sim_state)), "window.json")
        subprocess.run(cli + ["profile", "save", digits, path], check=True, capture_output=True)

        def state():
            out = {}
            with open(self.args.sim_state) as f:
                for line in f:
                    mac, *blocks = line.split()
                    out[mac] = {k: bytes.fromhex(v) for k, v in (b.split("=") for b in blocks)}
            return out
        self.until("the source module's new settings in the state file",
                   lambda: state().get(digits, {}).get("port") and self.sim_log().count(digits + ": restarting"))
        before = state()
        cell = self.until("the row of " + first["name"], lambda: self.row_cell(first["name"]))
        self.click(cell)
        self.ctrl_click(self.row_cell(second["name"]))
        wanted = sorted(r for r, row in enumerate(self.rows()) if row[1] in {first["name"], second["name"]})
        self.until("both rows selected", lambda: self.selected_rows() == wanted, 10)
        self.do(self.menu_item("lang_Menu_File", "lang_Menu_ApplyProfile"), "Press", short=True)
        chooser = self.until("the file chooser", lambda: self.window(self.t("lang_Caption_ChooseProfile")), 20)
        name = self.until("the chooser's file name field", lambda: self.find(
            pyatspi.ROLE_TEXT, root=chooser, match=lambda n: n.getState().contains(pyatspi.STATE_FOCUSED)), 10)
        self.set_text(name, path)
        self.key(KEY_RETURN)
        preview = self.until("the preview", lambda: self.window(self.t("lang_Caption_FleetPreview")), 30)
        self.shot("profile-preview")
        self.press(self.need("Write", pyatspi.ROLE_PUSH_BUTTON, self.t("lang_btn_PreviewWrite"), preview))
        summary = self.t("lang_Hint_FleetSummary").replace("%1", self.t("lang_ts_ActProfile")) \
            .replace("%2", "2").replace("%3", "2")
        self.until("the summary '%s'" % summary, lambda: summary in self.log(), 60)
        for m in (first, second):
            self.until(m["name"] + " restarted", lambda: self.sim_log().count(m["mac"].replace(" ", "") + ": restarting"))
        self.shot("profile-done")
        after = state()
        src = after[digits]
        identity = set(range(9, 13)) | set(range(21, 37)) | set(range(53, 59))  # StaticIP, ModName, UserMAC
        for m in (first, second):
            mac = m["mac"].replace(" ", "")
            if after[mac]["port"] == before[mac]["port"]:
                raise Failure("%s's port block did not change" % m["name"])
            for block, data in after[mac].items():
                if block == "base":
                    if any(data[i] != before[mac][block][i] for i in identity):
                        raise Failure("%s's identity changed" % m["name"])
                    if any(data[i] != src[block][i] for i in range(len(data)) if i not in identity):
                        raise Failure("%s's base block differs from the profile's source" % m["name"])
                elif data != src[block]:
                    raise Failure("%s's %s block differs from the profile's source" % (m["name"], block))
        third = LOCKED["mac"].replace(" ", "")
        if third in before and after[third] != before[third]:
            raise Failure("a module not chosen was changed")
        for m in (first, second):
            self.step("  %s holds the profile's settings" % m["name"])

    def quit(self):
        self.step("quit")
        self.do(self.menu_item("lang_Menu_File", "lang_Menu_Quit"), "Press", short=True)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--net", default="10.77.1", help="the modules' network, three numbers")
    p.add_argument("--pid", type=int, help="the program's process: waiting ends when it does")
    p.add_argument("--shots", required=True)
    p.add_argument("--sim-log")
    p.add_argument("--sim-state", help="the simulator's state file (step profile)")
    p.add_argument("--sim-fleet-log", help="what the modules of the actions on several rows heard")
    p.add_argument("--loader-log")
    p.add_argument("--firmware")
    p.add_argument("--serial-port")
    p.add_argument("--serial-port-q1", help="a Q1 module's port (step comq1)")
    p.add_argument("--serial-q1-log", help="what the Q1 module heard")
    p.add_argument("--tour", action="store_true", help="pause mid-transfer for a picture")
    p.add_argument("steps", nargs="+")
    args = p.parse_args()
    s = Session(args)
    started = time.monotonic()
    try:
        s.start()
        for name in args.steps:
            t0 = time.monotonic()
            getattr(s, name)()
            print("gui: %s took %.1f s" % (name, time.monotonic() - t0), flush=True)
    except Failure as e:
        print("FAIL: %s" % e, file=sys.stderr, flush=True)
        return 1
    print("gui: all steps passed in %.1f s" % (time.monotonic() - started), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
