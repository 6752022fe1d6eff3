"""Prints the directory under PREFIX where Python looks for modules; run by the install rule.

    python python_site_dir.py PREFIX            # a folder this interpreter searches, under PREFIX
    python python_site_dir.py --layout PREFIX   # where a Python of this kind installed at PREFIX would

Without --layout, the answer is a site-packages or dist-packages folder
under PREFIX/lib... (or PREFIX/Lib) that this interpreter searches or would
search once it exists: one of sys.path, site.getsitepackages() of a virtual
environment, or the user site (~/.local/...). Exit status 1 when there is none.
With --layout: the first such folder of site.getsitepackages([PREFIX]) (what
site.py adds for a Python whose prefix is PREFIX), else sysconfig's purelib
for PREFIX.
"""

import os
import site
import sys
import sysconfig


def _inside(path, prefix):
    """path lies under prefix/lib*, prefix/Lib* and is a site folder."""
    relative = os.path.relpath(os.path.abspath(path), prefix)
    parts = relative.split(os.sep)
    return (parts[0] != os.pardir and parts[0].lower().startswith("lib")
            and parts[-1] in ("site-packages", "dist-packages"))


def searched(prefix):
    candidates = list(sys.path)
    if sys.prefix != getattr(sys, "base_prefix", sys.prefix) and hasattr(site, "getsitepackages"):
        candidates += site.getsitepackages()  # a virtual environment's own folder, even before it exists
    if site.ENABLE_USER_SITE:
        candidates.append(site.getusersitepackages())
    return [path for path in candidates if path and _inside(path, prefix)]


def layout(prefix):
    if hasattr(site, "getsitepackages"):
        for path in site.getsitepackages([prefix]):
            if _inside(path, prefix):
                return path
    scheme = "nt" if os.name == "nt" else "posix_prefix"
    paths = {"base": prefix, "platbase": prefix, "installed_base": prefix, "installed_platbase": prefix}
    return sysconfig.get_path("purelib", scheme, vars=paths)


def main(arguments):
    use_layout = arguments[:1] == ["--layout"]
    if use_layout:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit(__doc__)
    prefix = os.path.abspath(arguments[0])
    if use_layout:
        print(layout(prefix))
        return 0
    found = searched(prefix)
    if not found:
        return 1
    print(found[0])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
