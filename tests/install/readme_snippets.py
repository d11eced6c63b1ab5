#!/usr/bin/env python3
"""Compiles every ```cpp block of a Markdown file as it is written (syntax only).

Each block is one source file: its #include lines at the top, the rest as the body of a
function. A block whose first line is "// at file scope" is compiled as it stands (class
definitions, ZEM_INTERFACE_CLASS). Blocks in other languages are left alone.

usage: readme_snippets.py README.md INCLUDE_DIRS COMPILER [FLAG...]
INCLUDE_DIRS is a "|"-separated list.
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

FILE_SCOPE = '// at file scope'


def blocks(text):
    """(line number, code) of every ```cpp block."""
    found = []
    for match in re.finditer(r'^( *)```cpp\n(.*?)^\1```$', text, re.S | re.M):
        indent = len(match.group(1))
        code = '\n'.join(line[indent:] for line in match.group(2).splitlines())
        found.append((text.count('\n', 0, match.start()) + 1, code))
    return found


def source(code):
    lines = code.splitlines()
    if lines and lines[0].strip() == FILE_SCOPE:
        return code + '\n'
    includes = [line for line in lines if line.startswith('#include')]
    body = [line for line in lines if not line.startswith('#include')]
    return '\n'.join(includes + ['', 'void readmeSnippet()', '{'] + body + ['}', ''])


def main():
    readme, include_dirs, compiler, flags = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    with open(readme, encoding='utf-8') as f:
        found = blocks(f.read())
    if not found:
        sys.exit('no ```cpp block in %s' % readme)
    includes = ['-I' + d for d in include_dirs.split('|') if d]
    with tempfile.TemporaryDirectory() as work:
        def compile_one(index):
            line, code = found[index]
            path = os.path.join(work, 'snippet%d.cpp' % index)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(source(code))
            run = subprocess.run([compiler, '-std=c++20', '-fsyntax-only', '-fPIC', *flags,
                                  *includes, path], capture_output=True, text=True)
            return line, code, run.returncode, run.stderr

        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(compile_one, range(len(found))))
    failed = [r for r in results if r[2] != 0]
    for line, code, _, errors in failed:
        print('README block at line %d does not compile:\n%s\n%s' % (line, code, errors))
    print('%d of %d C++ blocks compile' % (len(found) - len(failed), len(found)))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
