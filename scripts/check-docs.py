#!/usr/bin/env python3
"""The README and the pages under docs/ hold together: every relative link
leads to a file that exists, every #anchor to a heading of that file (as
GitHub names headings), and every page under docs/ is linked from the
README, so that nothing moved there is lost to a reader.

    scripts/check-docs.py [PROJECT_DIR]   (default: the folder above this one)

Prints each fault and exits 1 when there is one."""
import re
import sys
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
FENCE = re.compile(r"^\s*```")
INLINE_CODE = re.compile(r"`[^`]*`")


def prose_lines(text):
    """The lines outside fenced code blocks, with inline code taken out."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, INLINE_CODE.sub("", line)


def anchors(path):
    """The anchors GitHub gives the headings of a Markdown file: lower case,
    punctuation other than '-' and '_' dropped, spaces as '-', a repeated
    name numbered -1, -2, ..."""
    seen = {}
    names = set()
    fenced = False
    for line in path.read_text(encoding="utf-8").splitlines():
        if FENCE.match(line):
            fenced = not fenced
            continue
        heading = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if fenced or not heading:
            continue
        name = re.sub(r"[^\w\- ]", "", heading.group(1).replace("`", "").lower())
        name = name.replace(" ", "-")
        count = seen.get(name, 0)
        seen[name] = count + 1
        names.add(name if count == 0 else f"{name}-{count}")
    return names


def check(project):
    faults = []
    readme = project / "README.md"
    pages = [readme] + sorted((project / "docs").glob("*.md"))
    linked_from_readme = set()
    for page in pages:
        for number, line in prose_lines(page.read_text(encoding="utf-8")):
            for target in LINK.findall(line):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue  # a URL, not a file of the project
                file_part, _, anchor = target.partition("#")
                linked = (page.parent / file_part).resolve() if file_part else page.resolve()
                where = f"{page.relative_to(project)}:{number}: {target}"
                if not linked.exists():
                    faults.append(f"{where}: no such file")
                    continue
                if page == readme:
                    linked_from_readme.add(linked)
                if anchor:
                    if linked.suffix != ".md":
                        faults.append(f"{where}: an anchor into a file that is not Markdown")
                    elif anchor not in anchors(linked):
                        faults.append(f"{where}: no heading '{anchor}' in {linked.name}")
    for page in pages[1:]:
        if page.resolve() not in linked_from_readme:
            faults.append(f"{page.relative_to(project)}: not linked from README.md")
    return faults


def main():
    project = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    faults = check(project.resolve())
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("docs: every link of README.md and docs/*.md leads somewhere; every page is linked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
