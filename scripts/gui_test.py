#!/usr/bin/env python3
"""End-to-end tests of scourvane.exe under Wine, driven as a user would drive it.

Starts its own Xvfb display and a fresh Wine prefix, runs the program, moves the real mouse and
presses real keys with xdotool, looks into the program with gui_probe.exe (window sizes, focus,
enabled buttons, dialog texts, tooltips), checks the files and log.txt on disk, and saves PNG
screenshots for review. Prints "N passed, M failed" last; exits non-zero when anything failed.

Usage: gui_test.py --build-dir BUILD [--screenshots DIR] [--docs-screenshot PNG] [--keep]
Needs: wine, Xvfb, xdotool, imagemagick (import, convert).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

MAIN_TITLE = "Quenmark 3DO Scourvane"
NO_SELECTION_CAPTION = "No 3DO Files Selected!"
NO_SELECTION_TEXT = "No 3DO files have been selected.\nYou must select one or more 3DO files."
DONE_CAPTION = "Cleaning Completed!"
DONE_TEXT = "File cleaning complete.\nWould you like to see the log file for more details?"
OPEN_CAPTION = "Open 3DO File(s)"
ABOUT = "-"  # the About dialog has no caption
SELECT, CLEAN, ABOUT_BUTTON, QUIT = 1000, 1001, 1002, 1003
TOOLTIPS = {
    SELECT: "Select the 3DO file(s) you wish to Scourvane",
    CLEAN: "Scourvane the selected 3DO file(s)",
    ABOUT_BUTTON: "About 3DO Scourvane",
    QUIT: "Quit 3DO Scourvane",
}


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Session:
    """The display, the Wine prefix, the running program and the tools that drive it."""

    def __init__(self, args):
        self.build = os.path.abspath(args.build_dir)
        self.exe = os.path.join(self.build, "app", "scourvane.exe")
        self.probe_exe = os.path.join(self.build, "tests", "app", "gui_probe.exe")
        self.shots = os.path.abspath(args.screenshots)
        self.docs_shot = args.docs_screenshot
        self.keep = args.keep
        self.work = tempfile.mkdtemp(prefix="scourvane-gui-")
        self.env = dict(os.environ)
        self.xvfbs = []
        self.outer_size = None  # the window's outer size on the full-size screen
        self.app = None
        os.makedirs(self.shots, exist_ok=True)
        for name in os.listdir(self.shots):
            if name.startswith("failed-"):
                os.remove(os.path.join(self.shots, name))

    # -- environment ---------------------------------------------------------------------------

    def start_display(self, size="1024x768"):
        for number in range(91, 140):
            if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
                break
        display = ":%d" % number
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", size + "x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.xvfbs.append(xvfb)
        deadline = time.time() + 20
        while not os.path.exists("/tmp/.X11-unix/X%d" % number):
            check(xvfb.poll() is None, "Xvfb did not start on " + display)
            check(time.time() < deadline, "Xvfb socket did not appear")
            time.sleep(0.1)
        self.env["DISPLAY"] = display
        return display

    def make_prefix(self):
        prefix = os.path.join(self.work, "prefix")
        self.env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "WINEARCH": "win64",
                         # No Mono or Gecko install prompts in a fresh prefix.
                         "WINEDLLOVERRIDES": "mscoree=;mshtml="})
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300, check=True)
        # Without a window manager Wine should draw the frames itself, so the caption shows and Alt+F4 works.
        subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120, check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        # Some packagings of Wine do not find their own fonts: the caption buttons (Marlett) and the
        # About dialog's Tahoma then fall back to other faces. Install them into the prefix.
        fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
        for source in ("/usr/share/wine/fonts", "/usr/lib/wine/fonts", "/opt/wine-stable/share/wine/fonts"):
            for name in ("marlett.ttf", "tahoma.ttf", "tahomabd.ttf"):
                path = os.path.join(source, name)
                if os.path.exists(path) and os.path.isdir(fonts) and not os.path.exists(os.path.join(fonts, name)):
                    shutil.copyfile(path, os.path.join(fonts, name))

    def close(self):
        if self.app is not None and self.app.poll() is None:
            self.app.kill()
        if "WINEPREFIX" in self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for xvfb in self.xvfbs:
            xvfb.send_signal(signal.SIGTERM)
            try:
                xvfb.wait(10)
            except subprocess.TimeoutExpired:
                xvfb.kill()
        if not self.keep:
            shutil.rmtree(self.work, ignore_errors=True)

    # -- the program ---------------------------------------------------------------------------

    def start_app(self, cwd):
        self.app = subprocess.Popen(["wine", self.exe], cwd=cwd, env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        rc, info = self.probe("wait-main", "30000", timeout=60)
        check(rc == 0, "the main window did not appear within 30 s")
        self.wait_for(lambda: self.state().get("focus") == str(SELECT), 10, "Select has the focus at start")
        return info

    def wait_exit(self, timeout):
        try:
            return self.app.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %d s" % timeout)

    def probe(self, *args, timeout=60):
        result = subprocess.run(["wine", self.probe_exe] + list(args), env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        text = result.stdout.decode("latin-1").replace("\r\n", "\n")
        info = {}
        for line in text.split("\n"):
            if "=" in line:
                key, value = line.split("=", 1)
                info[key] = value
        info["_raw"] = text
        return result.returncode, info

    def state(self):
        return self.probe("state")[1]

    def wait_for(self, condition, timeout, what):
        deadline = time.time() + timeout
        while True:
            if condition():
                return
            if time.time() > deadline:
                raise Failure("timed out waiting until " + what)
            time.sleep(0.2)

    def wait_dialog(self, caption, timeout=15):
        rc, _ = self.probe("wait-dialog", caption, str(timeout * 1000), timeout=timeout + 30)
        check(rc == 0, "dialog %r did not appear" % caption)

    def wait_gone(self, caption, timeout=10):
        rc, _ = self.probe("wait-gone", caption, str(timeout * 1000), timeout=timeout + 30)
        check(rc == 0, "dialog %r did not close" % caption)

    def dialog_present(self, caption):
        return self.probe("wait-dialog", caption, "0")[0] == 0

    def dialog_texts(self, caption):
        rc, info = self.probe("dialog-texts", caption)
        check(rc == 0, "dialog %r not found" % caption)
        # Lines are class|id|text; a text may itself span lines (message boxes split by LF).
        return info["_raw"]

    def rect(self, *args):
        rc, info = self.probe(*args)
        check(rc == 0, "no rectangle for %r" % (args,))
        return tuple(int(info[k]) for k in ("left", "top", "right", "bottom"))

    # -- input ---------------------------------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True, timeout=30)

    def key(self, *keys):
        for k in keys:
            if k == "shift+Tab":
                # Held the way a person holds it: the program asks for Shift's state only when the
                # Tab message arrives, and a synthetic shift+Tab can let go of Shift before that.
                self.xdotool("keydown", "shift")
                time.sleep(0.1)
                self.xdotool("key", "Tab")
                time.sleep(0.2)
                self.xdotool("keyup", "shift")
            else:
                self.xdotool("key", k)
            time.sleep(0.15)

    def type_text(self, text):
        self.xdotool("type", "--delay", "30", text)

    def move(self, x, y):
        # Two moves, so the program sees motion even when the pointer was already there.
        self.xdotool("mousemove", str(x - 1), str(y))
        time.sleep(0.05)
        self.xdotool("mousemove", str(x), str(y))

    def click_at(self, x, y):
        self.move(x, y)
        time.sleep(0.1)
        self.xdotool("click", "1")

    def click_button(self, control):
        left, top, right, bottom = self.rect("button-rect", str(control))
        self.click_at((left + right) // 2, (top + bottom) // 2)

    def click_dialog_control(self, caption, control):
        left, top, right, bottom = self.rect("control-rect", caption, str(control))
        self.click_at((left + right) // 2, (top + bottom) // 2)

    # -- screen --------------------------------------------------------------------------------

    def screenshot(self, name, crop=None):
        path = os.path.join(self.shots, name)
        command = ["import", "-window", "root"]
        if crop is not None:
            x, y, w, h = crop
            command += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
        subprocess.run(command + [path], env=self.env, check=True, timeout=30)
        return path

    def grab(self):
        """The whole screen as (width, height, RGB bytes)."""
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env, check=True,
                              stdout=subprocess.PIPE, timeout=30).stdout
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        return int(fields[1]), int(fields[2]), data[pos + 1:]

    @staticmethod
    def luminance(image, box):
        width, _, pixels = image
        left, top, right, bottom = box
        total, count = 0.0, 0
        for y in range(top, bottom):
            for x in range(left, right):
                i = (y * width + x) * 3
                total += 0.299 * pixels[i] + 0.587 * pixels[i + 1] + 0.114 * pixels[i + 2]
                count += 1
        return total / count

    def frame_border_luminance(self, image, control):
        """Mean brightness of a button's frame strip above its face."""
        left, top, right, _ = self.rect("button-rect", str(control))
        return self.luminance(image, (left + 14, top + 1, right - 14, top + 4))

    def face_luminance(self, image, control):
        left, top, right, bottom = self.rect("button-rect", str(control))
        return self.luminance(image, (left + 14, top + 8, right - 14, bottom - 8))


# ---------------------------------------------------------------------------------------------
# The tests, run in this order against one or more runs of the program.


def make_models(s, folder, names):
    os.makedirs(folder, exist_ok=True)
    sizes = {}
    for name in names:
        path = os.path.join(folder, name)
        rc, _ = s.probe("make-model", wine_path(path))
        check(rc == 0, "could not write the model " + path)
        sizes[name] = os.path.getsize(path)
    return sizes


def read_log(folder):
    path = os.path.join(folder, "log.txt")
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def test_window_is_fixed_size_with_the_background_as_client_area(s):
    rc, info = s.probe("wait-main", "1000")
    check(rc == 0, "no main window")
    check(info["client_width"] == "512" and info["client_height"] == "359",
          "client area is %sx%s, not 512x359" % (info["client_width"], info["client_height"]))
    check(info["maximize_box"] == "0", "the window has a maximise box")
    check(info["sizing_border"] == "0", "the window has a sizing border")
    check(info["minimize_box"] == "1", "the window has no minimise box")
    check(info["title"] == MAIN_TITLE, "title is %r" % info["title"])
    outer = (int(info["outer_x"]), int(info["outer_y"]), int(info["outer_width"]), int(info["outer_height"]))
    s.outer_size = outer[2:]
    # Centred in the area of a maximised window, halves truncated toward zero.
    expected = (int((int(info["maximized_width"]) - outer[2]) / 2), int((int(info["maximized_height"]) - outer[3]) / 2))
    check(outer[:2] == expected, "the window is at %r, not centred at %r" % (outer[:2], expected))
    s.move(1010, 760)  # keep the pointer off the window
    time.sleep(0.5)
    s.screenshot("01-main-window.png", crop=outer)
    if s.docs_shot:
        os.makedirs(os.path.dirname(os.path.abspath(s.docs_shot)), exist_ok=True)
        shutil.copyfile(os.path.join(s.shots, "01-main-window.png"), s.docs_shot)


def test_focused_frame_is_drawn_lighter_than_the_others(s):
    check(s.state()["focus"] == str(SELECT), "Select does not have the focus at start")
    image = s.grab()
    focused = s.frame_border_luminance(image, SELECT)
    unfocused = s.frame_border_luminance(image, CLEAN)
    check(focused > unfocused + 15, "focused frame %.0f is not lighter than unfocused %.0f" % (focused, unfocused))


def test_tab_and_shift_tab_cycle_the_focus_through_the_four_buttons(s):
    for expected in (CLEAN, ABOUT_BUTTON, QUIT, SELECT, CLEAN, ABOUT_BUTTON):
        s.key("Tab")
        focus = s.state()["focus"]
        check(focus == str(expected), "after Tab the focus is on %s, expected %d" % (focus, expected))
    s.screenshot("02-focus-on-about.png")
    image = s.grab()
    check(s.frame_border_luminance(image, ABOUT_BUTTON) > s.frame_border_luminance(image, QUIT) + 15,
          "the focused About frame is not lighter than Quit's")
    for expected in (CLEAN, SELECT, QUIT, ABOUT_BUTTON, CLEAN, SELECT):
        s.key("shift+Tab")
        focus = s.state()["focus"]
        check(focus == str(expected), "after Shift+Tab the focus is on %s, expected %d" % (focus, expected))


def test_tooltip_shows_over_a_face_but_not_over_its_frame(s):
    left, top, right, bottom = s.rect("button-rect", str(SELECT))
    middle = (top + bottom) // 2
    s.move(left + 5, middle)  # on the frame, left of the face (which starts 12 pixels in)
    time.sleep(0.3)
    s.move(left + 6, middle)
    time.sleep(2.5)
    state = s.state()
    check(state["tooltip_visible"] == "0", "a tooltip %r shows over the frame" % state["tooltip_text"])
    for control in (SELECT, QUIT):
        left, top, right, bottom = s.rect("button-rect", str(control))
        s.move((left + right) // 2, (top + bottom) // 2)
        s.wait_for(lambda: s.state().get("tooltip_text") == TOOLTIPS[control], 8,
                   "the tooltip %r shows over the face" % TOOLTIPS[control])
        if control == SELECT:
            s.screenshot("03-tooltip-over-select.png")
        s.move(30, 30)  # off the window: the tip goes away
        s.wait_for(lambda: s.state().get("tooltip_visible") == "0", 8, "the tooltip hides again")


def test_pressed_face_shows_while_the_mouse_button_is_down(s):
    before = s.face_luminance(s.grab(), ABOUT_BUTTON)
    left, top, right, bottom = s.rect("button-rect", str(ABOUT_BUTTON))
    s.move((left + right) // 2, (top + bottom) // 2)
    s.xdotool("mousedown", "1")
    try:
        time.sleep(0.5)
        s.screenshot("04-about-pressed.png")
        during = s.face_luminance(s.grab(), ABOUT_BUTTON)
    finally:
        # Let go outside the button: no click, so no dialog.
        s.move(30, 30)
        time.sleep(0.2)
        s.xdotool("mouseup", "1")
    check(abs(during - before) > 15, "the pressed face looks like the normal one (%.0f vs %.0f)" % (during, before))
    time.sleep(1)
    check(not s.dialog_present(ABOUT), "releasing outside the button still ran About")
    # The press took the focus; put it back on Select for the tests that follow.
    s.key("shift+Tab", "shift+Tab")
    check(s.state()["focus"] == str(SELECT), "focus did not return to Select")


def test_clean_with_nothing_selected_only_says_so(s):
    s.click_button(CLEAN)
    s.wait_dialog(NO_SELECTION_CAPTION)
    check(NO_SELECTION_TEXT in s.dialog_texts(NO_SELECTION_CAPTION), "the no-selection text differs")
    check(s.state()["enabled"] == "0000", "the buttons are not disabled while the box is open")
    s.screenshot("05-no-selection.png")
    s.key("Return")
    s.wait_gone(NO_SELECTION_CAPTION)
    state = s.state()
    check(state["enabled"] == "1111", "the buttons were not enabled again")
    check(state["focus"] == str(CLEAN), "the focus is not on Clean after the run")
    check(not os.path.exists(os.path.join(s.start_dir, "log.txt")), "a log.txt was written without a selection")


def test_about_opens_with_its_texts_and_closes_on_esc_enter_and_ok(s):
    # Keyboard: from Clean, Tab to About and press Enter.
    s.key("Tab")
    check(s.state()["focus"] == str(ABOUT_BUTTON), "Tab from Clean did not reach About")
    s.key("Return")
    s.wait_dialog(ABOUT)
    texts = s.dialog_texts(ABOUT)
    for expected in ("Button|1000|OK", "About 3DO Scourvane", "Scourvaning performs four actions:",
                     "2) It removes any vertexes that do not belong to any face in the object.",
                     "Scourvane team"):
        check(expected in texts, "the About dialog lacks %r" % expected)
    s.screenshot("06-about-dialog.png")
    s.key("Escape")
    s.wait_gone(ABOUT)
    check(s.state()["focus"] == str(ABOUT_BUTTON), "the focus did not come back to About")
    s.click_button(ABOUT_BUTTON)
    s.wait_dialog(ABOUT)
    s.key("Return")
    s.wait_gone(ABOUT)
    s.click_button(ABOUT_BUTTON)
    s.wait_dialog(ABOUT)
    s.click_dialog_control(ABOUT, 1000)
    s.wait_gone(ABOUT)


def select_files(s, typed):
    """Select through the open-file dialog, typing each entry of `typed` and pressing Enter."""
    s.click_button(SELECT)
    s.wait_dialog(OPEN_CAPTION, timeout=30)
    time.sleep(0.5)
    for text in typed:
        s.type_text(text)
        time.sleep(0.2)
        s.key("Return")
        time.sleep(0.8)
    s.wait_gone(OPEN_CAPTION)


def test_select_two_files_then_clean_and_answer_no(s):
    folder = os.path.join(s.work, "models two")
    sizes = make_models(s, folder, ["alpha.3do", "beta.3do"])
    # Into the folder first, then both names at once: the dialog gives the folder and the names.
    select_files(s, [wine_path(folder), '"alpha.3do" "beta.3do"'])
    s.click_button(CLEAN)
    s.wait_dialog(DONE_CAPTION, timeout=30)
    check(DONE_TEXT in s.dialog_texts(DONE_CAPTION), "the completion prompt's text differs")
    check(s.state()["enabled"] == "0000", "the buttons are not disabled while the prompt is open")
    s.screenshot("07-completion-prompt-buttons-disabled.png")
    s.click_dialog_control(DONE_CAPTION, 7)  # No
    s.wait_gone(DONE_CAPTION)
    time.sleep(2)
    check(s.probe("wait-window", "Notepad", "0")[0] != 0, "No started the editor")
    log = read_log(folder)
    check(log.startswith("Report:\r\n"), "log.txt does not start with the report title")
    check("2 out of 2 files cleaned successfully" in log, "log.txt lacks the summary: %r" % log)
    for name in sizes:
        check('File cleaned: "%s"' % (wine_path(folder) + "\\" + name) in log, "log.txt lacks " + name)
        check(os.path.getsize(os.path.join(folder, name)) < sizes[name], name + " was not made smaller")
        check(s.probe("load-model", wine_path(os.path.join(folder, name)))[0] == 0, name + " no longer loads")
    check(not os.path.exists(os.path.join(s.start_dir, "log.txt")), "log.txt went to the start folder")
    state = s.state()
    check(state["enabled"] == "1111" and state["focus"] == str(CLEAN), "buttons or focus wrong after the run")

    # The selection stays: a second Clean takes the same files again, finds nothing left to remove,
    # and its log replaces the first one.
    s.click_button(CLEAN)
    s.wait_dialog(DONE_CAPTION, timeout=30)
    s.click_dialog_control(DONE_CAPTION, 7)
    s.wait_gone(DONE_CAPTION)
    again = read_log(folder)
    check(again.count("Report:") == 1, "the second log was appended to the first")
    check("2 out of 2 files cleaned successfully\r\n\t0 vertexes removed\r\n\t0 faces removed" in again,
          "the second run still removed something: %r" % again)


def test_select_one_file_then_clean_and_answer_yes_opens_the_log(s):
    folder = os.path.join(s.work, "single")
    sizes = make_models(s, folder, ["gamma.3do"])
    # Into the folder, then the one name: the dialog gives one full path and leaves the folder current.
    select_files(s, [wine_path(folder), "gamma.3do"])
    s.click_button(CLEAN)
    s.wait_dialog(DONE_CAPTION, timeout=30)
    s.key("Return")  # Yes is the default button
    s.wait_gone(DONE_CAPTION)
    rc, info = s.probe("wait-window", "Notepad", "20000", timeout=60)
    check(rc == 0, "Yes did not open the editor")
    check("log" in info.get("title", "").lower(), "the editor shows %r, not the log" % info.get("title"))
    time.sleep(1)
    s.screenshot("08-log-in-notepad.png")
    s.probe("close-window", "Notepad")
    s.wait_for(lambda: s.probe("wait-window", "Notepad", "0")[0] != 0, 10, "the editor closes")
    log = read_log(folder)
    check("1 out of 1 files cleaned successfully" in log, "log.txt lacks the single-file summary: %r" % log)
    check('File cleaned: "%s"' % wine_path(os.path.join(folder, "gamma.3do")) in log, "log.txt lacks the path")
    check(os.path.getsize(os.path.join(folder, "gamma.3do")) < sizes["gamma.3do"], "the file was not cleaned")


def test_real_models_copied_from_the_corpus_are_cleaned(s):
    corpus = os.environ.get("SCOURVANE_CORPUS_DIR",
                            os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "..",
                                         "shared", "corpus", "taprime"))
    if not os.path.isdir(corpus):
        raise Skip("no corpus of real models at " + corpus)
    models = sorted((f for f in os.listdir(corpus) if f.lower().endswith(".3do")),
                    key=lambda f: (-os.path.getsize(os.path.join(corpus, f)), f))
    chosen = models[:3] + models[-1:]
    folder = os.path.join(s.work, "corpus copy")
    os.makedirs(folder)
    for name in chosen:
        shutil.copyfile(os.path.join(corpus, name), os.path.join(folder, name))
    select_files(s, [wine_path(folder), " ".join('"%s"' % name for name in chosen)])
    s.click_button(CLEAN)
    s.wait_dialog(DONE_CAPTION, timeout=60)
    s.click_dialog_control(DONE_CAPTION, 7)
    s.wait_gone(DONE_CAPTION)
    log = read_log(folder)
    check("%d out of %d files cleaned successfully" % (len(chosen), len(chosen)) in log,
          "not every model was cleaned: %r" % log)
    for name in chosen:
        check(s.probe("load-model", wine_path(os.path.join(folder, name)))[0] == 0, name + " no longer loads")


def test_clean_after_a_cancelled_select_only_says_nothing_is_selected(s):
    logs = [os.path.join(d, "log.txt") for d in (s.start_dir, os.path.join(s.work, "models two"),
                                                  os.path.join(s.work, "single"))]
    before = {p: (os.path.getmtime(p), os.path.getsize(p)) for p in logs if os.path.exists(p)}
    time.sleep(1.1)  # so that a rewrite would show in the modification time
    s.click_button(SELECT)
    s.wait_dialog(OPEN_CAPTION, timeout=30)
    time.sleep(0.5)
    s.key("Escape")
    s.wait_gone(OPEN_CAPTION)
    s.click_button(CLEAN)
    s.wait_dialog(NO_SELECTION_CAPTION)
    check(not s.dialog_present(DONE_CAPTION), "a cleaning ran after the cancelled Select")
    s.key("Return")
    s.wait_gone(NO_SELECTION_CAPTION)
    after = {p: (os.path.getmtime(p), os.path.getsize(p)) for p in logs if os.path.exists(p)}
    check(before == after, "a log.txt was created or changed: %r -> %r" % (before, after))


def test_focus_returns_to_the_button_that_last_had_it(s):
    s.key("Tab", "Tab")  # Clean -> About -> Quit
    check(s.state()["focus"] == str(QUIT), "Tab did not reach Quit")
    # Switch to another program, then back by clicking the window's background.
    notepad = subprocess.Popen(["wine", "notepad"], cwd=s.work, env=s.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        s.wait_for(lambda: s.state().get("active_is_main") == "0", 20, "another program is active")
        _, info = s.probe("wait-main", "1000")
        s.click_at(int(info["client_x"]) + 20, int(info["client_y"]) + 340)
        s.wait_for(lambda: s.state().get("active_is_main") == "1", 10, "the main window is active again")
        focus = s.state()["focus"]
        check(focus == str(QUIT), "the focus went to %s, not back to Quit" % focus)
    finally:
        s.probe("close-window", "Notepad")
        try:
            notepad.wait(20)
        except subprocess.TimeoutExpired:
            notepad.kill()


def test_quit_ends_the_program_with_code_zero(s):
    s.click_button(QUIT)
    code = s.wait_exit(20)
    check(code == 0, "exit code %d" % code)


def test_alt_f4_ends_the_program_with_code_zero(s):
    s.start_app(s.start_dir)
    s.key("alt+F4")
    code = s.wait_exit(20)
    check(code == 0, "exit code %d" % code)


def test_closing_the_window_ends_the_program_with_code_zero(s):
    s.start_app(s.start_dir)
    s.probe("close-window", "QMK3DOScourvaner")
    code = s.wait_exit(20)
    check(code == 0, "exit code %d" % code)


def test_enter_on_the_focused_quit_button_ends_the_program(s):
    s.start_app(s.start_dir)
    s.key("shift+Tab")
    check(s.state()["focus"] == str(QUIT), "Shift+Tab from Select did not reach Quit")
    s.key("Return")
    code = s.wait_exit(20)
    check(code == 0, "exit code %d" % code)


def test_window_larger_than_the_screen_is_placed_at_a_negative_position(s):
    # Wine keeps one display per server: end this prefix's server, then start on a tiny screen.
    subprocess.run(["wineserver", "-k"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=s.env, timeout=60)
    s.start_display("480x320")
    s.start_app(s.start_dir)
    _, info = s.probe("wait-main", "1000")
    check(s.outer_size is not None, "the window's normal size is unknown")
    width, height = s.outer_size
    expected = (int((int(info["maximized_width"]) - width) / 2), int((int(info["maximized_height"]) - height) / 2))
    position = (int(info["outer_x"]), int(info["outer_y"]))
    check(expected[0] < 0 and expected[1] < 0, "the screen was not smaller than the window")
    check(position == expected, "the window is at %r, expected %r" % (position, expected))
    print("     on a 480x320 screen the client area is %sx%s" % (info["client_width"], info["client_height"]))
    s.screenshot("09-tiny-screen.png")
    s.probe("close-window", "QMK3DOScourvaner")
    code = s.wait_exit(20)
    check(code == 0, "exit code %d" % code)


TESTS = [
    test_window_is_fixed_size_with_the_background_as_client_area,
    test_focused_frame_is_drawn_lighter_than_the_others,
    test_tab_and_shift_tab_cycle_the_focus_through_the_four_buttons,
    test_tooltip_shows_over_a_face_but_not_over_its_frame,
    test_pressed_face_shows_while_the_mouse_button_is_down,
    test_clean_with_nothing_selected_only_says_so,
    test_about_opens_with_its_texts_and_closes_on_esc_enter_and_ok,
    test_select_two_files_then_clean_and_answer_no,
    test_select_one_file_then_clean_and_answer_yes_opens_the_log,
    test_real_models_copied_from_the_corpus_are_cleaned,
    test_clean_after_a_cancelled_select_only_says_nothing_is_selected,
    test_focus_returns_to_the_button_that_last_had_it,
    test_quit_ends_the_program_with_code_zero,
    test_alt_f4_ends_the_program_with_code_zero,
    test_closing_the_window_ends_the_program_with_code_zero,
    test_enter_on_the_focused_quit_button_ends_the_program,
    test_window_larger_than_the_screen_is_placed_at_a_negative_position,
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--screenshots", default="build/gui-screenshots")
    parser.add_argument("--docs-screenshot", default=None)
    parser.add_argument("--keep", action="store_true", help="keep the temporary prefix and files")
    args = parser.parse_args()

    s = Session(args)
    for path in (s.exe, s.probe_exe):
        if not os.path.exists(path):
            print("missing " + path + " (build the windows preset first)")
            print("0 passed, 1 failed")
            return 1
    passed, failed, skipped = 0, 0, 0
    started = time.time()
    try:
        print("display " + s.start_display())
        print("fresh Wine prefix in " + s.work)
        s.make_prefix()
        print("prefix ready after %.0f s" % (time.time() - started))
        s.start_dir = os.path.join(s.work, "start")
        os.makedirs(s.start_dir)
        s.start_app(s.start_dir)
        for test in TESTS:
            name = test.__name__[len("test_"):]
            try:
                # A later test needs the program running; start it again if an earlier one ended it.
                if s.app.poll() is not None and test not in TESTS[-4:]:
                    s.start_app(s.start_dir)
                test(s)
                passed += 1
                print("PASS " + name)
            except Skip as skip:
                skipped += 1
                print("SKIP %s: %s" % (name, skip))
            except Failure as failure:
                failed += 1
                print("FAIL %s: %s" % (name, failure))
                s.screenshot("failed-" + name + ".png")
                # Close whatever box the failure left open so the next test starts clean.
                for caption in (NO_SELECTION_CAPTION, DONE_CAPTION, OPEN_CAPTION, ABOUT):
                    if s.app.poll() is None and s.dialog_present(caption):
                        s.key("Escape")
            except Exception:  # a broken tool or timeout: report it as this test's failure
                failed += 1
                print("FAIL %s: %s" % (name, traceback.format_exc().strip().splitlines()[-1]))
    except Exception:
        failed += 1
        print("FAIL setup: " + traceback.format_exc().strip().splitlines()[-1])
    finally:
        s.close()
    print("screenshots in " + s.shots)
    print("took %.0f s" % (time.time() - started))
    if skipped:
        print("%d skipped" % skipped)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
