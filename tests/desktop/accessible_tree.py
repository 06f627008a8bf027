"""Reads the running program's editor, bar and preview (each formula an equation holding
its TeX) as a screen reader does, and its window class. Usage: accessible_tree.py PROGRAM ENTRY"""
import os, re, shutil, subprocess, sys, tempfile, time, pyatspi

FORMULAS = [r"e^{i\pi}+1=0", r"\frac{1}{3}"]
TEXT = f"Euler: ${FORMULAS[0]}$ and $${FORMULAS[1]}$$"
walk = lambda node: [node] + [m for c in node if c is not None for m in walk(c)]
roles = lambda node: (node.getRoleName(), node.getLocalizedRoleName(), node.name)
equations = lambda nodes: [n for n in nodes if n.getLocalizedRoleName() == "equation"]

def wait_for(what, limit, found):
    deadline = time.monotonic() + limit
    while not (result := found()):
        assert time.monotonic() < deadline, f"waited in vain for {what}"
        time.sleep(0.1)
    return result

def program_nodes():
    apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "tamsel"]
    nodes = walk(apps[0]) if apps else []
    return nodes if len(equations(nodes)) == len(FORMULAS) else None

def check(entry):
    nodes = wait_for("the formulas in the accessibility tree", 90, program_nodes)
    named = {roles(n): n for n in nodes if n.name}
    assert named[("text", "text", "TeX source")].queryText().getText(0, -1) == TEXT, "the editor's text differs"
    assert ("separator", "separator", "Editor and preview divider") in named, "no bar"
    page = [n for n in walk(named[("filler", "filler", "Preview")]) if n.getRoleName() == "document web"]
    for equation, formula in zip(equations(walk(page[0])), FORMULAS):
        assert formula in [n.name for n in walk(equation)], f"no equation holds {formula}"
    window = subprocess.check_output(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Tamsel$"], text=True).split()[0]
    wm_class = subprocess.check_output(["xprop", "-id", window, "WM_CLASS"], text=True).strip()
    startup = re.search(r"^StartupWMClass=(.*)$", open(entry).read(), re.M).group(1)
    assert wm_class.endswith(f'"{startup}"'), f"{wm_class} is not {startup}"

def main(program, entry):
    work = tempfile.mkdtemp()
    [shutil.copy(os.path.join(os.path.dirname(program), name), work) for name in ("tamsel", "tamsel-clipboard")]
    clip = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    clip.stdin.write(TEXT.encode()); clip.stdin.close()
    paste = lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True).stdout == TEXT.encode()
    env = dict(os.environ, XDG_RUNTIME_DIR=work, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    tamsel = None
    try:
        wait_for("the clipboard", 10, paste)
        tamsel = subprocess.Popen([os.path.join(work, "tamsel")], env=env, stderr=subprocess.DEVNULL)
        check(entry)
    except (AssertionError, KeyError, IndexError) as error:
        sys.exit(f"FAIL: {error!r}")
    finally:
        tamsel and (tamsel.terminate(), tamsel.wait()); clip.kill(); clip.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("1 passed, 0 failed")

main(*sys.argv[1:])
