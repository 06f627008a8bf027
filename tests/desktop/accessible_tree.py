#!/usr/bin/python3
"""Starts the program with two formulas on the clipboard and reads its window
through the accessibility bus as a screen reader does: the editor, the bar
and the preview with their names and roles, each formula an equation holding
its TeX. Also checks that the window's class is the desktop entry's.
Usage: accessible_tree.py PROGRAM DESKTOP_ENTRY_TEMPLATE"""
import os, re, shutil, subprocess, sys, tempfile, time
import pyatspi

FORMULAS = [r"e^{i\pi}+1=0", r"\frac{1}{3}"]
TEXT = f"Euler: ${FORMULAS[0]}$ and $${FORMULAS[1]}$$"

def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)

def describe(node):
    return f"[{node.getRoleName()} / {node.getLocalizedRoleName()}] {node.name!r}"

def find_tree(deadline):
    """The program's nodes once its formulas have reached the tree."""
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "tamsel":
                nodes = list(walk(app))
                if sum(n.getLocalizedRoleName() == "equation" for n in nodes) == len(FORMULAS):
                    return nodes
        time.sleep(0.2)
    sys.exit("FAIL: the formulas never reached the accessibility tree")

def main(program, entry):
    work = tempfile.mkdtemp()
    for name in ("tamsel", "tamsel-clipboard"):
        shutil.copy(os.path.join(os.path.dirname(program), name), work)
    env = dict(os.environ, QTWEBENGINE_DISABLE_SANDBOX="1", XDG_RUNTIME_DIR=work,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    clip = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    clip.stdin.write(TEXT.encode()); clip.stdin.close()
    time.sleep(0.3)  # xclip owns the selection once it has read its input
    tamsel = subprocess.Popen([os.path.join(work, "tamsel")], env=env, cwd=work,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        nodes = find_tree(time.monotonic() + 90)
        def one(role, name):
            found = [n for n in nodes if n.getRoleName() == role and n.name == name]
            assert found, f"no {role} named {name!r}"
            print(describe(found[0]))
            return found[0]
        editor = one("text", "TeX source")
        assert editor.queryText().getText(0, -1) == TEXT, "the editor's text differs"
        one("separator", "Editor and preview divider")
        preview = one("filler", "Preview")
        documents = [n for n in walk(preview) if n.getRoleName() == "document web"]
        assert documents, "the preview holds no web document"
        for n, formula in zip([n for n in walk(documents[0]) if n.getLocalizedRoleName() == "equation"], FORMULAS):
            print("  " + describe(n), "holding", [m.name for m in walk(n) if m.name])
            assert formula in [m.name for m in walk(n)], f"equation without {formula}"
        window = subprocess.check_output(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Tamsel$"], text=True).split()[0]
        wm_class = subprocess.check_output(["xprop", "-id", window, "WM_CLASS"], text=True)
        startup = re.search(r"^StartupWMClass=(.*)$", open(entry).read(), re.M).group(1)
        assert wm_class.strip().endswith(f'"{startup}"'), f"window class {wm_class} is not {startup}"
    except AssertionError as error:
        sys.exit(f"FAIL: {error}")
    finally:
        tamsel.terminate(); tamsel.wait(); clip.kill(); clip.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("1 passed, 0 failed")

main(*sys.argv[1:])
