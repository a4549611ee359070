#!/usr/bin/env python3
"""End-to-end tests of scourvane.exe under Wine, driven as a user would drive it; run by gui_test.sh.

Starts its own Xvfb display in the Wine prefix of WINEPREFIX, presses real keys and moves the real
mouse with xdotool, looks into the program with gui_probe.exe, checks the cleaned files and log.txt,
and saves a PNG screenshot of every state. Prints "PASS test" or "FAIL test: reason" for each test.

Usage: gui_test.py --build-dir BUILD --work DIR --screenshots DIR [--only TEXT,...]
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

NO_SELECTION = "No 3DO Files Selected!"
DONE = "Cleaning Completed!"
OPEN = "Open 3DO File(s)"
ABOUT = "-"  # the About dialog has no caption
SEVERAL_FOLDERS = "Files From Several Folders!"
SUBFOLDERS = "3DO Files In Subfolders"
SELECT, CLEAN, ABOUT_BUTTON, QUIT = 1000, 1001, 1002, 1003
NO_BUTTON = 7  # of the completion prompt


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def quiet(command, env, **kwargs):
    return subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


class Session:
    """The display, the running program and the tools that drive it."""

    def __init__(self, args):
        build = os.path.abspath(args.build_dir)
        self.exe = os.path.join(build, "app", "scourvane.exe")
        self.probe_exe = os.path.join(build, "tests", "app", "gui_probe.exe")
        self.samples_exe = os.path.join(build, "tools", "scourvane-make-samples.exe")
        self.xdnd_drop = os.path.join(build, "xdnd_drop")  # a native X client, built by gui_test.sh
        self.shots = os.path.abspath(args.screenshots)
        self.work = os.path.abspath(args.work)
        self.start_dir = os.path.join(self.work, "start")
        os.makedirs(self.start_dir)
        self.env = dict(os.environ)
        self.xvfbs = []
        self.outer_size = None  # the window's outer size on the full-size screen
        self.app = None
        os.makedirs(self.shots, exist_ok=True)

    def start_display(self, size="1024x768"):
        number = next(n for n in range(91, 140) if not os.path.exists("/tmp/.X11-unix/X%d" % n)
                      and not os.path.exists("/tmp/.X%d-lock" % n))
        xvfb = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", size + "x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.xvfbs.append(xvfb)
        self.env["DISPLAY"] = ":%d" % number
        self.wait_for(lambda: xvfb.poll() is None and os.path.exists("/tmp/.X11-unix/X%d" % number), 30,
                      "Xvfb listens on " + self.env["DISPLAY"])

    def close(self):
        if self.app is not None and self.app.poll() is None:
            self.app.kill()
        quiet(["wineserver", "-k"], self.env)
        for xvfb in self.xvfbs:
            xvfb.kill()

    def start_app(self, paths=()):
        self.app = subprocess.Popen(["wine", self.exe] + list(paths), cwd=self.start_dir, env=self.env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(self.probe("wait-main", "60000", timeout=90)[0] == 0, "the main window did not appear within 60 s")
        self.wait_for(lambda: self.state().get("focus") == str(SELECT), 30, "Select has the focus at start")

    def check_exit_zero(self):
        code = self.app.wait(30)  # a program that does not end fails the test with the timeout
        check(code == 0, "exit code %d" % code)

    def probe(self, *args, timeout=60):
        result = subprocess.run(["wine", self.probe_exe] + list(args), env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        text = result.stdout.decode("latin-1").replace("\r\n", "\n")
        info = dict(line.split("=", 1) for line in text.split("\n") if "=" in line)
        info["_raw"] = text  # dialog-texts: lines of class|id|text, a text may span lines
        return result.returncode, info

    def state(self):
        return self.probe("state")[1]

    def wait_for(self, condition, timeout, what):
        deadline = time.time() + timeout
        while not condition():
            check(time.time() < deadline, "timed out waiting until " + what)
            time.sleep(0.2)

    def wait_dialog(self, caption, timeout=30, gone=False):
        rc, _ = self.probe("wait-gone" if gone else "wait-dialog", caption, str(timeout * 1000), timeout=timeout + 30)
        check(rc == 0, "dialog %r did not %s" % (caption, "close" if gone else "appear"))

    def dialog_present(self, caption):
        return self.probe("wait-dialog", caption, "0")[0] == 0

    def dialog_texts(self, caption):
        rc, info = self.probe("dialog-texts", caption)
        check(rc == 0, "dialog %r not found" % caption)
        return info["_raw"]

    def rect(self, control, dialog="main"):
        rc, info = self.probe("rect", dialog, str(control))
        check(rc == 0, "no rectangle for control %d of %r" % (control, dialog))
        return tuple(int(info[k]) for k in ("left", "top", "right", "bottom"))

    def centre(self, control, dialog="main"):
        left, top, right, bottom = self.rect(control, dialog)
        return (left + right) // 2, (top + bottom) // 2

    def background(self):
        """A point on the main window's background, off the buttons."""
        _, info = self.probe("wait-main", "1000")
        return int(info["client_x"]) + 20, int(info["client_y"]) + 340

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True, timeout=30)

    def key(self, *keys):
        for k in keys:
            # Shift held the way a person holds it: the program asks for Shift's state only when the
            # Tab message arrives, and a synthetic shift+Tab can let go of Shift before that.
            held = ["keydown", "shift", "sleep", "0.1", "key", "Tab", "sleep", "0.2", "keyup", "shift"]
            self.xdotool(*(held if k == "shift+Tab" else ["key", k]))
            time.sleep(0.15)

    def move(self, x, y):
        # Two moves, so the program sees motion even when the pointer was already there.
        self.xdotool("mousemove", str(x - 1), str(y))
        time.sleep(0.05)
        self.xdotool("mousemove", str(x), str(y))

    def click(self, control, dialog="main"):
        self.move(*self.centre(control, dialog))
        time.sleep(0.1)
        self.xdotool("click", "1")

    def grab(self, crop, *rest):
        return subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % crop, "+repage"] + list(rest),
                              env=self.env, check=True, stdout=subprocess.PIPE, timeout=30).stdout

    def screenshot(self, name, crop=(0, 0, 0, 0)):
        self.grab(crop, os.path.join(self.shots, name))  # a crop of 0x0 is the whole screen

    def check_lighter_frame(self, focused, other):
        """The focused button's frame strip above its face is lighter on screen than the other's."""
        def luminance(control):
            left, top, right, _ = self.rect(control)
            return float(self.grab((right - left - 28, 3, left + 14, top + 1), "-colorspace", "gray",
                                   "-format", "%[fx:mean*255]", "info:"))
        lighter, darker = luminance(focused), luminance(other)
        check(lighter > darker + 15, "focused frame %.0f is not lighter than %.0f" % (lighter, darker))

    def check_centred(self, info):
        # Centred in the area of a maximised window, halves truncated toward zero.
        expected = tuple(int((int(info["maximized_" + k]) - size) / 2)
                         for k, size in zip(("width", "height"), self.outer_size))
        position = (int(info["outer_x"]), int(info["outer_y"]))
        check(position == expected, "the window is at %r, not centred at %r" % (position, expected))
        return expected


# The tests, run in the order they are written against one or more runs of the program.


def make_models(s, name, renames=None):
    """Sample models in a new folder of the work folder; returns it and the models' sizes. The sample
    writer has no UTF-8 manifest: it writes under plain names, which `renames` then changes."""
    plain, folder = os.path.join(s.work, "plain"), os.path.join(s.work, name)
    check(quiet(["wine", s.samples_exe, wine_path(plain)], s.env, timeout=120).returncode == 0,
          "could not write the sample models")
    for old, new in (renames or {}).items():
        os.rename(os.path.join(plain, old), os.path.join(plain, new))
    os.rename(plain, folder)
    return folder, {name: os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder)}


def select_files(s, typed):
    """Select through the open-file dialog, typing each entry of `typed` and pressing Enter."""
    s.click(SELECT)
    s.wait_dialog(OPEN)
    time.sleep(0.5)
    for text in typed:
        if text.isascii():
            s.xdotool("type", "--delay", "30", text)
        else:
            # xdotool cannot type every script into Wine: the text goes in through the clipboard.
            check(s.probe("set-clipboard", text)[0] == 0, "the probe could not set the clipboard")
            s.key("ctrl+a", "ctrl+v")
        time.sleep(0.2)
        s.key("Return")
        time.sleep(0.8)
    s.wait_dialog(OPEN, gone=True)


def clean_and_check_log(s, folder, names, answer_yes=False, sizes=None):
    s.click(CLEAN)
    s.wait_dialog(DONE)
    check(s.state()["enabled"] == "0000", "the buttons are not disabled while the prompt is open")
    if answer_yes:
        s.key("Return")  # Yes is the default button
    else:
        s.screenshot("07-completion-prompt-buttons-disabled.png")
        s.click(NO_BUTTON, DONE)
    s.wait_dialog(DONE, gone=True)
    state = s.state()  # the editor, when asked for, has the focus instead
    check(state["enabled"] == "1111" and (answer_yes or state["focus"] == str(CLEAN)),
          "buttons or focus wrong after the run")
    with open(os.path.join(folder, "log.txt"), "rb") as f:
        log = f.read().decode("utf-8", errors="replace")  # names in any language, as UTF-8
    check("%d out of %d files cleaned successfully" % (len(names), len(names)) in log, "log.txt: %r" % log)
    for name in names:
        check('File cleaned: "%s"' % wine_path(os.path.join(folder, name)) in log, "log.txt lacks " + name)
        check(sizes is None or os.path.getsize(os.path.join(folder, name)) < sizes[name], name + " is no smaller")
    check(not os.path.exists(os.path.join(s.start_dir, "log.txt")), "log.txt went to the start folder")
    return log


def test_window_is_fixed_size_and_centred_with_the_background_as_client_area(s):
    rc, info = s.probe("wait-main", "1000")
    check(rc == 0, "no main window")
    check((info["client_width"], info["client_height"]) == ("512", "359"),
          "client area is %sx%s, not 512x359" % (info["client_width"], info["client_height"]))
    check(info["maximize_box"] == "0" and info["sizing_border"] == "0", "the window can be maximised or sized")
    check(info["title"] == "Quenmark 3DO Scourvane", "title is %r" % info["title"])
    s.outer_size = (int(info["outer_width"]), int(info["outer_height"]))
    position = s.check_centred(info)
    s.move(1010, 760)  # keep the pointer off the window
    time.sleep(0.5)
    s.screenshot("01-main-window.png", crop=s.outer_size + position)  # docs/screenshot.png when asked for


def test_tab_and_shift_tab_cycle_the_focus_which_gets_the_lighter_frame(s):
    s.check_lighter_frame(SELECT, CLEAN)
    for keys, order in (("Tab", (CLEAN, ABOUT_BUTTON, QUIT, SELECT, CLEAN, ABOUT_BUTTON)),
                        ("shift+Tab", (CLEAN, SELECT, QUIT, ABOUT_BUTTON, CLEAN, SELECT))):
        for expected in order:
            s.key(keys)
            focus = s.state()["focus"]
            check(focus == str(expected), "after %s the focus is on %s, expected %d" % (keys, focus, expected))
            if expected == ABOUT_BUTTON and keys == "Tab":
                s.screenshot("02-focus-on-about.png")
                s.check_lighter_frame(ABOUT_BUTTON, QUIT)


def test_tooltip_shows_over_a_face_but_not_over_its_frame(s):
    left, top, _, bottom = s.rect(SELECT)
    s.move(left + 6, (top + bottom) // 2)  # on the frame, left of the face (which starts 12 pixels in)
    time.sleep(2.5)
    state = s.state()
    check(state["tooltip_visible"] == "0", "a tooltip %r shows over the frame" % state["tooltip_text"])
    s.move(*s.centre(SELECT))
    tip = "Select the 3DO file(s) you wish to Scourvane"
    s.wait_for(lambda: s.state().get("tooltip_text") == tip, 30, "the tooltip shows over the face")
    s.screenshot("03-tooltip-over-select.png")
    s.move(30, 30)  # off the window: the tip goes away
    s.wait_for(lambda: s.state().get("tooltip_visible") == "0", 30, "the tooltip hides again")


def test_pressing_about_and_letting_go_outside_runs_nothing(s):
    # Which face a pressed button draws is pinned in-process; here it is only photographed.
    s.move(*s.centre(ABOUT_BUTTON))
    s.xdotool("mousedown", "1")
    try:
        time.sleep(0.5)
        s.screenshot("04-about-pressed.png")
    finally:
        s.move(30, 30)  # let go outside the button: no click, so no dialog
        time.sleep(0.2)
        s.xdotool("mouseup", "1")
    time.sleep(1)
    check(not s.dialog_present(ABOUT), "releasing outside the button still ran About")


def test_clean_after_a_cancelled_select_only_says_nothing_is_selected(s):
    # The boxes' texts are pinned with the batch run; their captions are matched here.
    s.click(SELECT)
    s.wait_dialog(OPEN)
    time.sleep(0.5)
    s.key("Escape")
    s.wait_dialog(OPEN, gone=True)
    s.click(CLEAN)
    s.wait_dialog(NO_SELECTION)
    s.screenshot("05-no-selection.png")
    s.key("Return")
    s.wait_dialog(NO_SELECTION, gone=True)
    check(s.state()["focus"] == str(CLEAN), "the focus is not on Clean after the run")


def test_about_opens_with_its_texts_and_closes_on_esc_enter_and_ok(s):
    s.key("Tab")  # from Clean to About, then Enter presses it
    s.key("Return")
    s.wait_dialog(ABOUT)
    texts = s.dialog_texts(ABOUT)
    for expected in ("Button|1000|OK", "About 3DO Scourvane", "Scourvaning performs four actions:",
                     "2) It removes any vertexes that do not belong to any face in the object."):
        check(expected in texts, "the About dialog lacks %r" % expected)
    s.screenshot("06-about-dialog.png")
    s.key("Escape")
    s.wait_dialog(ABOUT, gone=True)
    check(s.state()["focus"] == str(ABOUT_BUTTON), "the focus did not come back to About")
    for close in (lambda: s.key("Return"), lambda: s.click(1000, ABOUT)):
        s.click(ABOUT_BUTTON)
        s.wait_dialog(ABOUT)
        close()
        s.wait_dialog(ABOUT, gone=True)


def test_two_models_named_in_cyrillic_and_chinese_chosen_in_the_dialog_clean_twice_answering_no(s):
    folder, sizes = make_models(s, "модели 模型", {"tank.3do": "танк.3do", "rig.3do": "坦克.3do"})
    names = ["танк.3do", "坦克.3do"]
    # Into the folder first, then both names at once: the dialog gives the folder and the names.
    select_files(s, [wine_path(folder), '"танк.3do" "坦克.3do"'])
    clean_and_check_log(s, folder, names, sizes=sizes)
    time.sleep(2)
    check(s.probe("wait-window", "Notepad", "0")[0] != 0, "No started the editor")
    # The selection stays: a second Clean takes the same files again and finds nothing left to remove.
    again = clean_and_check_log(s, folder, names)
    check("\r\n\t0 vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed" in again,
          "the second run still removed something: %r" % again)


def test_select_one_file_then_clean_and_answer_yes_opens_the_log(s):
    folder, sizes = make_models(s, "single")
    # Into the folder, then the one name: the dialog gives one full path and leaves the folder current.
    select_files(s, [wine_path(folder), "rig.3do"])
    clean_and_check_log(s, folder, ["rig.3do"], answer_yes=True, sizes=sizes)
    rc, info = s.probe("wait-window", "Notepad", "30000", timeout=60)
    check(rc == 0, "Yes did not open the editor")
    check("log" in info.get("title", "").lower(), "the editor shows %r, not the log" % info.get("title"))
    time.sleep(1)
    s.screenshot("08-log-in-notepad.png")
    s.probe("close-window", "Notepad")
    s.wait_for(lambda: s.probe("wait-window", "Notepad", "0")[0] != 0, 30, "the editor closes")


def test_focus_returns_to_the_button_that_last_had_it(s):
    s.key("Tab", "Tab")  # Clean -> About -> Quit
    check(s.state()["focus"] == str(QUIT), "Tab did not reach Quit")
    # Switch to another program, then back by clicking the window's background.
    notepad = subprocess.Popen(["wine", "notepad"], cwd=s.work, env=s.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        s.wait_for(lambda: s.state().get("active_is_main") == "0", 30, "another program is active")
        s.move(*s.background())
        s.xdotool("click", "1")
        s.wait_for(lambda: s.state().get("active_is_main") == "1", 30, "the main window is active again")
        focus = s.state()["focus"]
        check(focus == str(QUIT), "the focus went to %s, not back to Quit" % focus)
    finally:
        s.probe("close-window", "Notepad")
        notepad.wait(30)


def test_dropped_files_and_folders_are_cleaned_a_drop_during_a_run_is_ignored_two_folders_refused(s):
    folder, sizes = make_models(s, "dropped")
    other, _ = make_models(s, "dropped later")
    check(s.probe("drop", wine_path(os.path.join(folder, "tank.3do")),
                  wine_path(os.path.join(folder, "crate.3do")))[0] == 0, "the probe could not drop")
    s.click(CLEAN)
    s.wait_dialog(DONE)
    # While the run's prompt is open, another drop changes nothing.
    s.probe("drop", wine_path(os.path.join(other, "rig.3do")))
    time.sleep(1)
    s.key("Tab", "Return")  # No
    s.wait_dialog(DONE, gone=True)
    log = clean_and_check_log(s, folder, ["tank.3do", "crate.3do"])
    check("\t0 vertexes removed" in log and "rig.3do" not in log, "the second run differs: %r" % log)
    check(all(os.path.getsize(os.path.join(folder, n)) < sizes[n] for n in ("tank.3do", "crate.3do")),
          "the dropped files were not cleaned")
    # A dropped folder gives its models; files of two folders are refused with the reason.
    s.probe("drop", wine_path(other))
    clean_and_check_log(s, other, sorted(os.listdir(other)))
    s.probe("drop", wine_path(os.path.join(folder, "tank.3do")), wine_path(os.path.join(other, "tank.3do")))
    s.wait_dialog(SEVERAL_FOLDERS)
    check("Files of one folder can be dropped at a time." in s.dialog_texts(SEVERAL_FOLDERS),
          "the refusal does not say why")
    s.screenshot("10-drop-from-two-folders-refused.png")
    s.key("Return")
    s.wait_dialog(SEVERAL_FOLDERS, gone=True)


def test_a_mods_folder_with_models_only_in_subfolders_asks_and_yes_takes_them_named_below_it(s):
    mod = os.path.join(s.work, "mod tree")
    os.makedirs(os.path.join(mod, "units", "deep"))
    with open(os.path.join(mod, "readme.txt"), "w") as f:
        f.write("a mod keeps its models in subfolders\n")
    units, sizes = make_models(s, os.path.join("mod tree", "objects3d"))
    os.rename(os.path.join(units, "rig.3do"), os.path.join(mod, "units", "deep", "rig.3do"))
    below = sorted(["objects3d\\" + n for n in os.listdir(units)] + ["units\\deep\\rig.3do"])
    s.probe("drop", wine_path(mod))
    s.wait_dialog(SUBFOLDERS)
    text = s.dialog_texts(SUBFOLDERS)
    check("its subfolders hold %d." % len(below) in text, "the question does not give the count: %r" % text)
    s.screenshot("11-mod-folder-question.png")
    s.click(NO_BUTTON, SUBFOLDERS)  # No changes nothing
    s.wait_dialog(SUBFOLDERS, gone=True)
    s.probe("drop", wine_path(mod))
    s.wait_dialog(SUBFOLDERS)
    s.key("Return")  # Yes is the default button
    s.wait_dialog(SUBFOLDERS, gone=True)
    s.click(CLEAN)
    s.wait_dialog(DONE)
    s.click(NO_BUTTON, DONE)
    s.wait_dialog(DONE, gone=True)
    with open(os.path.join(mod, "log.txt"), "rb") as f:
        log = f.read().decode("utf-8", errors="replace")
    check("%d out of %d files cleaned successfully" % (len(below), len(below)) in log, "log.txt: %r" % log)
    for name in below:
        check('File cleaned: "%s"' % name in log, "log.txt does not name %s below the folder: %r" % (name, log))
    check(os.path.getsize(os.path.join(mod, "units", "deep", "rig.3do")) < sizes["rig.3do"], "rig.3do is no smaller")


def test_thousands_of_dropped_files_outgrow_the_dialogs_buffer_and_are_all_cleaned(s):
    folder, sizes = make_models(s, "thousands")
    source = os.path.join(folder, "tank.3do")
    with open(source, "rb") as f:
        model = f.read()
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    count = 3000  # their names take over 150 KB, where the dialog's buffer holds 32 KB
    for i in range(count):
        with open(os.path.join(folder, "a model with a rather long name for the drop %04d.3do" % i), "wb") as f:
            f.write(model)
    check(s.probe("drop-all", wine_path(folder), timeout=120)[0] == 0, "the probe could not drop")
    s.click(CLEAN)
    s.wait_dialog(DONE, timeout=300)
    s.click(NO_BUTTON, DONE)
    s.wait_dialog(DONE, gone=True)
    with open(os.path.join(folder, "log.txt"), "rb") as f:
        log = f.read().decode("utf-8", errors="replace")
    check("%d out of %d files cleaned successfully" % (count, count) in log, "log.txt ends: %r" % log[-300:])
    check(all(os.path.getsize(os.path.join(folder, n)) < sizes["tank.3do"]
              for n in os.listdir(folder) if n.endswith(".3do")), "some dropped file was not cleaned")


def test_files_dropped_from_a_linux_file_manager_over_xdnd_are_cleaned(s):
    # The real way in: XDND messages on the X display, which Wine turns into WM_DROPFILES for a window
    # that accepts files.
    folder, sizes = make_models(s, "xdnd drop")
    point = s.background()
    s.move(*point)
    result = subprocess.run([s.xdnd_drop, str(point[0]), str(point[1])] +
                            [os.path.join(folder, n) for n in ("tower.3do", "tank.3do")],
                            env=s.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
    check(result.returncode == 0, "the XDND drop failed: %s" % result.stdout.decode(errors="replace").strip())
    clean_and_check_log(s, folder, ["tower.3do", "tank.3do"], sizes=sizes)


def test_quit_alt_f4_and_enter_on_quit_end_with_code_zero_and_files_given_at_start_are_selected(s):
    folder, sizes = make_models(s, "given")
    s.click(QUIT)
    s.check_exit_zero()
    # As if dropped on the program's icon.
    s.start_app([wine_path(os.path.join(folder, n)) for n in ("tower.3do", "rig.3do")])
    clean_and_check_log(s, folder, ["tower.3do", "rig.3do"], sizes=sizes)
    s.key("alt+F4")
    s.check_exit_zero()
    s.start_app()
    s.key("shift+Tab")
    check(s.state()["focus"] == str(QUIT), "Shift+Tab from Select did not reach Quit")
    s.key("Return")
    s.check_exit_zero()


def test_window_larger_than_the_screen_is_placed_at_a_negative_position(s):
    # Wine keeps one display per server: end this prefix's server, then start on a tiny screen.
    quiet(["wineserver", "-k"], s.env)
    quiet(["wineserver", "-w"], s.env, timeout=60)
    s.start_display("480x320")
    s.start_app()
    _, info = s.probe("wait-main", "1000")
    check(min(s.check_centred(info)) < 0, "the screen was not smaller than the window")
    s.screenshot("09-tiny-screen.png")
    s.probe("close-window", "QMK3DOScourvaner")  # closing the window
    s.check_exit_zero()


TESTS = [value for name, value in list(globals().items()) if name.startswith("test_")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--work", required=True, help="an empty folder for the models")
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--only", default=None, help="run only the tests whose names hold one of these comma-separated texts")
    args = parser.parse_args()
    s = Session(args)
    wanted = None if args.only is None else args.only.split(",")
    tests = [t for t in TESTS if wanted is None or t is TESTS[0] or any(w in t.__name__ for w in wanted)]
    started = time.time()
    try:
        s.start_display()
        s.start_app()
        for test in tests:
            name = test.__name__[len("test_"):]
            try:
                # A test needs the program running; start it again if an earlier one ended it.
                if s.app.poll() is not None and test is not TESTS[-1]:
                    s.start_app()
                test(s)
                print("PASS " + name, flush=True)
            except Exception as error:  # a failed check, a broken tool or a timeout
                reason = error if isinstance(error, Failure) else traceback.format_exc().strip().splitlines()[-1]
                print("FAIL %s: %s" % (name, reason), flush=True)
                s.screenshot("failed-" + name + ".png")
                # Close whatever box the failure left open so the next test starts clean.
                for caption in (NO_SELECTION, DONE, OPEN, ABOUT, SEVERAL_FOLDERS, SUBFOLDERS):
                    if s.app.poll() is None and s.dialog_present(caption):
                        s.key("Escape")
    except Exception:
        print("FAIL setup: " + traceback.format_exc().strip().splitlines()[-1])
    finally:
        s.close()
    print("screenshots in %s\ntook %.0f s" % (s.shots, time.time() - started))


if __name__ == "__main__":
    sys.exit(main())
