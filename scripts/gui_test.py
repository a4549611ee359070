#!/usr/bin/env python3
"""End-to-end tests of scourvane.exe under Wine, driven as a user would drive it; run by gui_test.sh.

On its own Xvfb display, in the Wine prefix of WINEPREFIX, it presses real keys and moves the real
mouse with xdotool, looks into the program with gui_probe.exe, checks the cleaned files and log.txt
and saves a PNG screenshot of every state. Prints "PASS test" or "FAIL test: reason" for each test.
"""

import argparse
import os
import shutil
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
        info["_raw"] = text
        return result.returncode, info

    def state(self):
        return self.probe("state")[1]

    def wait_for(self, condition, timeout, what):
        deadline = time.time() + timeout
        while not condition():
            check(time.time() < deadline, "timed out waiting until " + what)
            time.sleep(0.2)

    def wait_dialog(self, caption, timeout=30, gone=False):
        """Returns the texts of the dialog that appeared: lines of class|id|text (a text may span lines)."""
        rc, info = self.probe("wait-gone" if gone else "wait-dialog", caption, str(timeout * 1000),
                              timeout=timeout + 30)
        check(rc == 0, "dialog %r did not %s" % (caption, "close" if gone else "appear"))
        return info["_raw"]

    def rect(self, control, dialog="main"):
        rc, info = self.probe("rect", dialog, str(control))
        check(rc == 0, "no rectangle for control %d of %r" % (control, dialog))
        return tuple(int(info[k]) for k in ("left", "top", "right", "bottom"))

    def centre(self, control, dialog="main"):
        left, top, right, bottom = self.rect(control, dialog)
        return (left + right) // 2, (top + bottom) // 2

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


def close_box(s, caption, how="Return"):
    """Answers a box with a key, or a click on the button of that id, and waits until it is gone."""
    s.click(how, caption) if isinstance(how, int) else s.key(how)
    s.wait_dialog(caption, gone=True)


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


def clean(s, folder, names, yes=False, sizes=None, below=False, during=None, timeout=30):
    """Cleans, checks the buttons are off while the completion prompt is open (where `during` runs),
    answers it and checks log.txt in `folder`: every name cleaned, logged by its full path or, when
    `below`, as the name below the folder, and smaller than `sizes` gives (by the file's own name)."""
    s.click(CLEAN)
    s.wait_dialog(DONE, timeout)
    check(s.state()["enabled"] == "0000", "the buttons are not disabled while the prompt is open")
    s.screenshot("07-completion-prompt-buttons-disabled.png")
    if during:
        during()
        time.sleep(1)
    close_box(s, DONE, "Return" if yes else NO_BUTTON)  # Yes is the default button
    state = s.state()  # the editor, when asked for, has the focus instead
    check(state["enabled"] == "1111" and (yes or state["focus"] == str(CLEAN)), "buttons or focus wrong after the run")
    with open(os.path.join(folder, "log.txt"), "rb") as f:
        log = f.read().decode("utf-8", errors="replace")  # names in any language, as UTF-8
    check("%d out of %d files cleaned successfully" % (len(names), len(names)) in log, "log.txt ends: %r" % log[-300:])
    for name in names:
        path = os.path.join(folder, *name.split("\\"))
        check('File cleaned: "%s"' % (name if below else wine_path(path)) in log, "log.txt lacks " + name)
        check(sizes is None or os.path.getsize(path) < sizes[os.path.basename(path)], name + " is no smaller")
    check(not os.path.exists(os.path.join(s.start_dir, "log.txt")), "log.txt went to the start folder")
    return log


def test_window_is_fixed_size_centred_takes_dropped_files_and_has_the_background_as_client_area(s):
    rc, info = s.probe("wait-main", "1000")
    check(rc == 0, "no main window")
    expected = {"client_width": "512", "client_height": "359", "maximize_box": "0", "sizing_border": "0",
                "accepts_files": "1", "title": "Quenmark 3DO Scourvane"}
    wrong = {key: info.get(key) for key, value in expected.items() if info.get(key) != value}
    check(not wrong, "the window differs in %r" % wrong)
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


def test_tooltip_shows_over_a_face_and_hides_off_the_window(s):
    # The area it shows over, the face without the frame, is pinned in-process.
    s.move(*s.centre(SELECT))
    tip = "Select the 3DO file(s) you wish to Scourvane"
    s.wait_for(lambda: s.state().get("tooltip_text") == tip, 30, "the tooltip shows over the face")
    s.screenshot("03-tooltip-over-select.png")
    s.move(30, 30)  # off the window: the tip goes away
    s.wait_for(lambda: s.state().get("tooltip_visible") == "0", 30, "the tooltip hides again")


def test_two_models_named_in_cyrillic_and_chinese_chosen_in_the_dialog_clean_twice_and_yes_opens_the_log(s):
    folder, sizes = make_models(s, "модели 模型", {"tank.3do": "танк.3do", "rig.3do": "坦克.3do"})
    names = ["танк.3do", "坦克.3do"]
    # Into the folder first, then both names at once: the dialog gives the folder and the names.
    select_files(s, [wine_path(folder), '"танк.3do" "坦克.3do"'])
    clean(s, folder, names, sizes=sizes)
    time.sleep(2)
    check(s.probe("wait-window", "Notepad", "0")[0] != 0, "No started the editor")
    # The selection stays: a second Clean takes the same files again and finds nothing left to remove.
    again = clean(s, folder, names, yes=True)
    check("\r\n\t0 vertexes removed\r\n\t0 faces removed\r\n\t0 bytes removed" in again,
          "the second run still removed something: %r" % again)
    rc, info = s.probe("wait-window", "Notepad", "30000", timeout=60)
    check(rc == 0, "Yes did not open the editor")
    check("log" in info.get("title", "").lower(), "the editor shows %r, not the log" % info.get("title"))
    time.sleep(1)
    s.screenshot("08-log-in-notepad.png")
    s.probe("close-window", "Notepad")
    s.wait_for(lambda: s.probe("wait-window", "Notepad", "0")[0] != 0, 30, "the editor closes")


def test_a_cancelled_select_wipes_the_selection_so_clean_only_says_nothing_is_selected(s):
    # The boxes' texts are pinned with the batch run; their captions are matched here.
    s.click(SELECT)
    s.wait_dialog(OPEN)
    time.sleep(0.5)
    close_box(s, OPEN, "Escape")
    s.click(CLEAN)
    s.wait_dialog(NO_SELECTION)
    s.screenshot("05-no-selection.png")
    close_box(s, NO_SELECTION)
    check(s.state()["focus"] == str(CLEAN), "the focus is not on Clean after the run")


def test_about_opens_with_its_texts_and_closes_on_esc_and_ok(s):
    s.key("Tab", "Return")  # from Clean to About, and Enter presses it
    texts = s.wait_dialog(ABOUT)
    for expected in ("Button|1000|OK", "About 3DO Scourvane", "Scourvaning performs four actions:",
                     "2) It removes any vertexes that do not belong to any face in the object."):
        check(expected in texts, "the About dialog lacks %r" % expected)
    s.screenshot("06-about-dialog.png")
    close_box(s, ABOUT, "Escape")
    check(s.state()["focus"] == str(ABOUT_BUTTON), "the focus did not come back to About")
    s.click(ABOUT_BUTTON)
    s.wait_dialog(ABOUT)
    close_box(s, ABOUT, 1000)  # OK


def test_dropped_files_are_cleaned_a_drop_during_a_run_is_ignored_two_folders_refused(s):
    folder, sizes = make_models(s, "dropped")
    other, _ = make_models(s, "dropped later")
    names = ["tank.3do", "crate.3do"]
    check(s.probe("drop", *(wine_path(os.path.join(folder, n)) for n in names))[0] == 0, "the probe could not drop")
    clean(s, folder, names, sizes=sizes, during=lambda: s.probe("drop", wine_path(os.path.join(other, "rig.3do"))))
    log = clean(s, folder, names)  # the same selection again: the drop during the run changed nothing
    check("\t0 vertexes removed" in log and "rig.3do" not in log, "the second run differs: %r" % log)
    # Files of two folders are refused with the reason. (A dropped folder is the next test's.)
    s.probe("drop", wine_path(os.path.join(folder, "tank.3do")), wine_path(os.path.join(other, "tank.3do")))
    check("Files of one folder can be dropped at a time." in s.wait_dialog(SEVERAL_FOLDERS),
          "the refusal does not say why")
    s.screenshot("10-drop-from-two-folders-refused.png")
    close_box(s, SEVERAL_FOLDERS)


def test_a_mods_folder_with_models_only_in_subfolders_asks_and_yes_takes_them_named_below_it(s):
    mod = os.path.join(s.work, "mod tree")
    os.makedirs(os.path.join(mod, "units", "deep"))
    with open(os.path.join(mod, "readme.txt"), "w") as f:
        f.write("a mod keeps its models in subfolders\n")
    units, sizes = make_models(s, os.path.join("mod tree", "objects3d"))
    os.rename(os.path.join(units, "rig.3do"), os.path.join(mod, "units", "deep", "rig.3do"))
    below = sorted(["objects3d\\" + n for n in os.listdir(units)] + ["units\\deep\\rig.3do"])
    for how in (NO_BUTTON, "Return"):  # No changes nothing; Yes, the default button, takes them
        s.probe("drop", wine_path(mod))
        text = s.wait_dialog(SUBFOLDERS)
        check("its subfolders hold %d." % len(below) in text, "the question does not give the count: %r" % text)
        s.screenshot("11-mod-folder-question.png")
        close_box(s, SUBFOLDERS, how)
    clean(s, mod, below, sizes=sizes, below=True)


def test_thousands_of_dropped_files_outgrow_the_dialogs_buffer_and_are_all_cleaned(s):
    models, sizes = make_models(s, "one model")
    folder = os.path.join(s.work, "thousands")
    os.makedirs(folder)
    # Their names take over 150 KB, where the dialog's buffer holds 32 KB.
    names = ["a model with a rather long name for the drop %04d.3do" % i for i in range(3000)]
    for name in names:
        shutil.copyfile(os.path.join(models, "tank.3do"), os.path.join(folder, name))
    check(s.probe("drop-all", wine_path(folder), timeout=120)[0] == 0, "the probe could not drop")
    clean(s, folder, names, sizes=dict.fromkeys(names, sizes["tank.3do"]), timeout=300)


def test_quit_alt_f4_and_enter_on_quit_end_with_code_zero_and_files_given_at_start_are_selected(s):
    folder, sizes = make_models(s, "given")
    s.click(QUIT)
    s.check_exit_zero()
    # As if dropped on the program's icon.
    s.start_app([wine_path(os.path.join(folder, n)) for n in ("tower.3do", "rig.3do")])
    clean(s, folder, ["tower.3do", "rig.3do"], sizes=sizes)
    s.key("alt+F4")
    s.check_exit_zero()
    s.start_app()
    s.key("shift+Tab", "Return")  # from Select to Quit, and Enter presses it
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
                    if s.app.poll() is None and s.probe("wait-dialog", caption, "0")[0] == 0:
                        s.key("Escape")
    except Exception:
        print("FAIL setup: " + traceback.format_exc().strip().splitlines()[-1])
    finally:
        s.close()
    print("screenshots in %s\ntook %.0f s" % (s.shots, time.time() - started))


if __name__ == "__main__":
    sys.exit(main())
