# Running korvel-admin-cli for the korvel.admin modules: one source of truth for the protocol, the checks and
# the journal of changes. The modules hand it a small state file on standard input and let its plan (check
# mode) or apply work out and make the changes; what changed comes back as JSON.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import subprocess

CONNECTION_OPTIONS = dict(
    login_host=dict(type='str'),
    login_port=dict(type='int'),
    login_user=dict(type='str'),
    login_password=dict(type='str', no_log=True),
    mode=dict(type='str', choices=['lan', 'internet']),
    profile=dict(type='str'),
    cli_path=dict(type='path'),
)

# The variable a managed user's password travels in: the state file names it, never the value.
PASSWORD_VARIABLE = 'KORVEL_ANSIBLE_USER_PASSWORD'
PREFIX = 'korvel-admin-cli: '
WARNING = PREFIX + 'warning: '
USAGE_HINT = 'Run with --help for more information.'


def diff_of(changes):
    """Ansible's before and after texts for the changes korvel-admin-cli reports (never a password)."""
    before, after = [], []
    for change in changes:
        name = '%s %s' % (change['kind'], change['object'])
        if change.get('field') == 'password':
            before.append('%s: password (as it was)' % name)
            after.append('%s: password (changed)' % name)
            continue
        if change.get('field'):
            name += ' ' + change['field']
        if change['action'] != 'add':
            before.append('%s: %s' % (name, change.get('before') or 'present'))
        if change['action'] != 'delete':
            after.append('%s: %s' % (name, change.get('after') or 'present'))
    return dict(before=''.join(line + '\n' for line in before), after=''.join(line + '\n' for line in after))


class KorvelCli(object):
    """korvel-admin-cli for one module run: its path, the connection options and the program's name in the
    journal ("korvel-admin-cli (korvel.admin.<module>)")."""

    def __init__(self, module, name):
        self.module = module
        self.name = name
        self.path = module.params.get('cli_path') or module.get_bin_path('korvel-admin-cli', required=True)

    def _connection(self):
        params = self.module.params
        options = []
        for option, flag in (('profile', '--profile'), ('login_host', '--host'), ('login_user', '--user')):
            if params.get(option):
                options += [flag, params[option]]
        if params.get('login_port') is not None:
            options += ['--port', str(params['login_port'])]
        if params.get('mode') == 'internet':
            options.append('--internet')
        return options

    def run(self, args, state=None, password=None):
        """Runs one command with --json and returns its output; fails the module with the program's message."""
        environment = dict(os.environ)
        environment['KORVEL_ADMIN_CALLER'] = 'korvel.admin.' + self.name
        for variable in ('KORVEL_PASSWORD', PASSWORD_VARIABLE):
            environment.pop(variable, None)
        if self.module.params.get('login_password'):
            environment['KORVEL_PASSWORD'] = self.module.params['login_password']
        if password is not None:
            environment[PASSWORD_VARIABLE] = password
        command = [self.path] + self._connection() + ['--json'] + args
        try:
            # A session of its own has no controlling terminal, so the program never stops to ask.
            done = subprocess.run(command, input=json.dumps(state) if state is not None else '',
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                                  env=environment, start_new_session=True)
        except OSError as error:
            self.module.fail_json(msg='cannot run %s: %s' % (self.path, error))
        lines = done.stderr.splitlines()
        if done.returncode != 0:
            message = [line for line in lines if line != USAGE_HINT and not line.startswith(WARNING)]
            self.module.fail_json(msg='\n'.join(message) or 'korvel-admin-cli exited with %d' % done.returncode,
                                  rc=done.returncode)
        for line in lines:
            # The summary before the changes is no warning; everything else said on the way is.
            if line.startswith(PREFIX) and not line.endswith(' to send.'):
                self.module.warn(line[len(WARNING if line.startswith(WARNING) else PREFIX):])
        return json.loads(done.stdout) if done.stdout.strip() else {}

    def converge(self, state, password=None):
        """Makes the server hold `state` (plan only, in check mode) and ends the module with what changed."""
        if self.module.check_mode:
            result = self.run(['plan', '-'], state=state, password=password)
        else:
            result = self.run(['apply', '-', '--force'], state=state, password=password)
        self.finish(result.get('changes', []))

    def remove(self, kind, name):
        """Deletes a user or database when the server has it (the CLI's guards apply)."""
        if name not in self.run([kind, 'list']):
            self.finish([])
        if not self.module.check_mode:
            self.run([kind, 'delete', name, '--force'])
        self.finish([dict(action='delete', kind=kind, object=name, text='- %s %s' % (kind, name))])

    def finish(self, changes):
        result = dict(changed=bool(changes), changes=[change['text'] for change in changes])
        if self.module._diff:
            result['diff'] = diff_of(changes)
        self.module.exit_json(**result)
