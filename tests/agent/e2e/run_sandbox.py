"""The end-to-end scripts' sandbox: the folders a run could write to are
the script's own, made for their owner alone under the TMPDIR of whoever
runs it, and they go when the script ends.

usage: run_sandbox.py QUILLCMD [unittest arguments]
"""
import json
import os
import subprocess
import sys

import e2e_support

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDERS = ("HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR",
           "TMPDIR")

# A script of its own: what it sees once e2e_support is imported, and what
# its runs of QUILLCMD get.
PROBE = """
import json, os, sys
sys.path.insert(0, sys.argv[1])
import e2e_support
folders = sys.argv[2:]
run = e2e_support.environment(os.environ["TMPDIR"])
print(json.dumps({
    "script": {name: os.environ.get(name) for name in folders + ["TEMP"]},
    "run": {name: run.get(name) for name in folders + ["TEMP"]},
    "modes": {name: os.path.isdir(os.environ[name]) and os.stat(os.environ[name]).st_mode & 0o777
              for name in folders},
}))
"""


class Sandbox(e2e_support.WorkFolderTest):
    prefix = "qm_sandbox_"

    def test_a_script_lives_in_folders_of_its_own_that_go_with_it(self):
        outer = self.path("outer")
        os.mkdir(outer)
        # The folders of whoever runs the tests, which nothing may touch.
        theirs = {name: self.path("theirs-" + name.lower()) for name in FOLDERS}
        env = dict(os.environ, **theirs)
        env.update(TMPDIR=outer, TEMP=self.path("theirs-temp"))
        done = subprocess.run([sys.executable, "-c", PROBE, HERE, *FOLDERS], env=env, capture_output=True,
                              text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        seen = json.loads(done.stdout)
        for where in ("script", "run"):
            folders = seen[where]
            top = os.path.commonpath([folders[name] for name in FOLDERS])
            self.assertEqual(os.path.dirname(top), outer, (where, folders))
            self.assertTrue(os.path.basename(top).startswith("qm_test_"), (where, folders))
            for name in FOLDERS:
                self.assertNotEqual(folders[name], top, (where, name))
            self.assertIsNone(folders["TEMP"], where)
        self.assertEqual(seen["modes"], {name: 0o700 for name in FOLDERS})
        self.assertEqual(os.listdir(outer), [], "the sandbox stayed")
        self.assertEqual(sorted(os.listdir(self.work)), ["outer"], "a folder of the runner's was made")


if __name__ == "__main__":
    e2e_support.main()
