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
    connect_timeout=dict(type='float', default=30),
)

# The variable a managed user's password travels in: the state file names it, never the value.
PASSWORD_VARIABLE = 'KORVEL_ANSIBLE_USER_PASSWORD'
PREFIX = 'korvel-admin-cli: '
WARNING = PREFIX + 'warning: '
USAGE_HINT = 'Run with --help for more information.'


def diff_of(changes):
    """Ansible's before and after dictionaries for the changes korvel-admin-cli reports, keyed by object
    ("user carol", "config"); a password only as the words the CLI uses ("set", "changed", "emptied"),
    never its value. A user or database added or deleted comes with all its values."""
    before, after = {}, {}
    for change in changes:
        # The configuration is one object whose fields the CLI names as its objects.
        if change['kind'] == 'config':
            name, field = 'config', change['object']
        else:
            name, field = '%s %s' % (change['kind'], change['object']), change.get('field')
        if field == 'password':
            before.setdefault(name, {})[field] = 'set' if change.get('before') != 'none' else 'none'
            after.setdefault(name, {})[field] = 'emptied' if change.get('after') == 'emptied' else 'changed'
        elif field:
            if change['action'] != 'add':
                before.setdefault(name, {})[field] = change.get('before')
            if change['action'] != 'delete':
                after.setdefault(name, {})[field] = change.get('after')
        else:
            if change['action'] != 'add':
                before[name] = change.get('before') or 'present'
            if change['action'] != 'delete':
                after[name] = change.get('after') or 'present'
    return dict(before=before, after=after)


def connection_arguments(params):
    """The CLI's connection options for the module's parameters. mode is passed either way, so a profile's
    mode never wins over the one asked for."""
    options = []
    for option, flag in (('profile', '--profile'), ('login_host', '--host'), ('login_user', '--user')):
        if params.get(option):
            options += [flag, params[option]]
    if params.get('login_port') is not None:
        options += ['--port', str(params['login_port'])]
    if params.get('mode'):
        options.append('--' + params['mode'])
    if params.get('connect_timeout') is not None:
        options += ['--timeout', '%g' % params['connect_timeout']]
    return options


def messages_of(stderr):
    """The program's error text and its warnings, from what it wrote to standard error."""
    errors, warnings = [], []
    for line in stderr.splitlines():
        if line.startswith(WARNING):
            warnings.append(line[len(WARNING):])
        elif line.startswith(PREFIX) and not line.endswith(' to send.'):
            # The summary before the changes is no warning; everything else said on the way is.
            warnings.append(line[len(PREFIX):])
        if line != USAGE_HINT and not line.startswith(WARNING):
            errors.append(line)
    return '\n'.join(errors), warnings


class KorvelCli(object):
    """korvel-admin-cli for one module run: its path, the connection options and the program's name in the
    journal ("korvel-admin-cli (korvel.admin.<module>)")."""

    def __init__(self, module, name):
        self.module = module
        self.name = name
        self.path = module.params.get('cli_path') or module.get_bin_path('korvel-admin-cli', required=True)

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
        command = [self.path] + connection_arguments(self.module.params) + ['--json'] + args
        try:
            # A session of its own has no controlling terminal, so the program never stops to ask.
            done = subprocess.run(command, input=json.dumps(state) if state is not None else '',
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True,
                                  env=environment, start_new_session=True, check=False)
        except OSError as error:
            self.module.fail_json(msg='cannot run %s: %s' % (self.path, error))
        error, warnings = messages_of(done.stderr)
        if done.returncode != 0:
            self.module.fail_json(msg=error or '\n'.join(warnings) or 'korvel-admin-cli exited with %d' % done.returncode,
                                  rc=done.returncode)
        for warning in warnings:
            self.module.warn(warning)
        return json.loads(done.stdout) if done.stdout.strip() else {}

    def converge(self, state, password=None, prune=False):
        """Makes the server hold `state` (plan only, in check mode) and returns what changed and the
        summary. A plan the real run would refuse fails in check mode too."""
        if self.module.check_mode:
            result = self.run(['plan', '-'] + (['--prune'] if prune else []), state=state, password=password)
            if result.get('refusal'):
                self.module.fail_json(msg=result['refusal'])
        else:
            result = self.run(['apply', '-', '--force'], state=state, password=password)
        return result.get('changes', []), result.get('summary')

    def names(self, kind):
        return self.run([kind, 'list'])

    def show(self, kind, name):
        """What the server holds of a user or database, or None when it has none of that name."""
        return self.run([kind, 'show', '--', name]) if name in self.names(kind) else None

    def remove(self, kind, name):
        """Deletes a user or database when the server has it, with the CLI's guards. Check mode plans the
        deletion (every other one kept) so that it fails where the real run's guard would."""
        names = self.names(kind)
        if name not in names:
            return []
        if self.module.check_mode and kind == 'user':
            others = [dict(name=other) for other in names if other != name]
            return [change for change in self.converge(dict(users=others), prune=True)[0] if change['kind'] == kind]
        if not self.module.check_mode:
            self.run([kind, 'delete'] + (['--force'] if kind == 'user' else []) + ['--', name])
        return [dict(action='delete', kind=kind, object=name, text='- %s %s' % (kind, name))]

    def finish(self, changes, summary=None, **facts):
        """Ends the module: changed, the change lines, the diff and a message, with the facts given."""
        result = dict(changed=bool(changes), changes=[change['text'] for change in changes], **facts)
        result['msg'] = summary or ('%d change%s' % (len(changes), '' if len(changes) == 1 else 's')
                                    if changes else 'No changes.')
        if self.module._diff:
            result['diff'] = diff_of(changes)
        self.module.exit_json(**result)
