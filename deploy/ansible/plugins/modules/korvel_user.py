#!/usr/bin/python
# Copyright: KORVEL Admin maintainers
# SPDX-License-Identifier: MIT
# A user of a KORVEL server, through korvel-admin-cli.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: korvel_user
short_description: A user of a KORVEL database server
description:
  - Adds, changes or deletes one user of a KORVEL database server through korvel-admin-cli, which journals
    every change.
  - Only the options given are managed; an existing user keeps the values of the others.
version_added: 1.0.0
options:
  name:
    description:
      - The user's name.
    type: str
    required: true
  password:
    description:
      - The user's password. It reaches korvel-admin-cli in its environment, never on its command line.
      - Without it an existing user's password is left alone, and a new user gets an empty one (with a
        warning).
    type: str
  update_password:
    description:
      - C(always) makes an existing user's password I(password); C(on_create) sets it only on a user the
        module adds, so a password the user has changed since is kept.
    type: str
    choices: [always, on_create]
    default: always
  description:
    description:
      - Free text about the user.
    type: str
  administrator:
    description:
      - Whether the user may administer the server.
      - The last administrator is never deleted or demoted; check mode fails there as the real run does.
    type: bool
  state:
    description:
      - C(present) adds or changes the user, C(absent) deletes it (its rights on every database too).
    type: str
    choices: [present, absent]
    default: present
extends_documentation_fragment:
  - korvel.admin.connection
attributes:
  check_mode:
    description: Check mode plans the changes with the CLI's own checks and makes none.
    support: full
  diff_mode:
    description: The changes as before and after dictionaries, keyed by object; passwords never shown.
    support: full
author:
  - KORVEL Admin maintainers (@korvel-admin)
"""

EXAMPLES = r"""
- name: Carol administers the server
  korvel.admin.korvel_user:
    name: carol
    password: "{{ carol_password }}"
    administrator: true
    login_host: db1.example.org
    login_user: admin
    login_password: "{{ korvel_admin_password }}"
  delegate_to: localhost

- name: Dave is gone
  korvel.admin.korvel_user:
    name: dave
    state: absent
    profile: office
  delegate_to: localhost
"""

RETURN = r"""
msg:
  description: What was done (or, in check mode, would be), in short.
  returned: always
  type: str
  sample: "1 to add"
user:
  description: The user as the server holds it afterwards (in check mode, as it would), without its
    password; null once deleted.
  returned: always
  type: dict
  sample: {"name": "carol", "description": "Sales desk", "administrator": false}
changes:
  description: The changes made (or, in check mode, to be made), one line each; a password only as
    "password changed".
  returned: always
  type: list
  elements: str
  sample: ["~ user carol: administrator false -> true", "~ user carol: password changed"]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import (
    CONNECTION_OPTIONS,
    PASSWORD_VARIABLE,
    KorvelCli,
)


def wanted_user(params, held):
    """The state file's entry for the user: only the options given, and the password unless on_create
    keeps the one an existing user has."""
    user = dict(name=params['name'])
    for option in ('description', 'administrator'):
        if params[option] is not None:
            user[option] = params[option]
    if params['password'] is not None and (held is None or params['update_password'] == 'always'):
        user['password_env'] = PASSWORD_VARIABLE
    return user


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type='str', required=True),
            password=dict(type='str', no_log=True),
            update_password=dict(type='str', default='always', choices=['always', 'on_create'], no_log=False),
            description=dict(type='str'),
            administrator=dict(type='bool'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            **CONNECTION_OPTIONS
        ),
        supports_check_mode=True,
    )
    params = module.params
    cli = KorvelCli(module, 'korvel_user')
    if params['state'] == 'absent':
        cli.finish(cli.remove('user', params['name']), user=None)
    held = cli.show('user', params['name'])
    user = wanted_user(params, held)
    changes, summary = cli.converge(dict(users=[user]), password=params['password'] if 'password_env' in user else None)
    if module.check_mode:
        fact = dict(held or dict(description='', administrator=False), **user)
        fact.pop('password_env', None)
    else:
        fact = cli.show('user', params['name'])
    cli.finish(changes, summary, user=fact)


if __name__ == '__main__':
    main()
