# The module utilities' own rules: which CLI options a module's parameters become, what of the program's
# standard error is an error or a warning, and how its changes become Ansible's diff.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import pytest

from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import (
    connection_arguments,
    diff_of,
    messages_of,
)


@pytest.mark.parametrize('params, expected', [
    # A name beginning with "-" stays the option's value.
    (dict(login_host='-db1', login_user='-admin'), ['--host', '-db1', '--user', '-admin']),
    (dict(login_port=0), ['--port', '0']),
    # LAN given is passed, so a profile in Internet mode does not win.
    (dict(profile='office', mode='lan'), ['--profile', 'office', '--lan']),
    (dict(mode='internet'), ['--internet']),
    (dict(connect_timeout=30.0), ['--timeout', '30']),
    (dict(connect_timeout=0.25), ['--timeout', '0.25']),
    (dict(mode=None, login_host='', connect_timeout=None), []),
])
def test_connection_arguments(params, expected):
    assert connection_arguments(params) == expected


@pytest.mark.parametrize('stderr, error, warnings', [
    ('korvel-admin-cli: warning: user \'dave\' is new\n', '', ["user 'dave' is new"]),
    # The summary apply prints before sending is neither.
    ('korvel-admin-cli: 1 to add to send.\n', 'korvel-admin-cli: 1 to add to send.', []),
    # An address warning from apply's question, then the error and the usage hint.
    ('korvel-admin-cli: "10.0.0" is no address pattern\nkorvel-admin-cli: no such user\n'
     'Run with --help for more information.\n',
     'korvel-admin-cli: "10.0.0" is no address pattern\nkorvel-admin-cli: no such user',
     ['"10.0.0" is no address pattern', 'no such user']),
])
def test_messages_of(stderr, error, warnings):
    assert messages_of(stderr) == (error, warnings)


@pytest.mark.parametrize('change, before, after', [
    (dict(action='add', kind='user', object='carol'), {}, {'user carol': 'present'}),
    (dict(action='add', kind='user', object='carol', after={'administrator': True}), {},
     {'user carol': {'administrator': True}}),
    (dict(action='delete', kind='database', object='-Sales'), {'database -Sales': 'present'}, {}),
    (dict(action='modify', kind='user', object='carol', field='description', before='', after='Sales desk'),
     {'user carol': {'description': ''}}, {'user carol': {'description': 'Sales desk'}}),
    (dict(action='add', kind='rights', object='carol@Sales', field='rights', after='RI'),
     {}, {'rights carol@Sales': {'rights': 'RI'}}),
    # An emptied value stays a value, not "present".
    (dict(action='modify', kind='config', object='temp_directory', before='/tmp', after=''),
     {'config': {'temp_directory': '/tmp'}}, {'config': {'temp_directory': ''}}),
    # A password's value never reaches the diff, whatever the change holds.
    (dict(action='modify', kind='user', object='carol', field='password', before='old', after='new'),
     {'user carol': {'password': 'set'}}, {'user carol': {'password': 'changed'}}),
    (dict(action='modify', kind='user', object='carol', field='password', before='set', after='emptied'),
     {'user carol': {'password': 'set'}}, {'user carol': {'password': 'emptied'}}),
    (dict(action='delete', kind='user', object='carol', before={'administrator': True, 'password': 'set'}),
     {'user carol': {'administrator': True, 'password': 'set'}}, {}),
])
def test_diff_of(change, before, after):
    assert diff_of([change]) == dict(before=before, after=after)


def test_diff_of_gathers_one_objects_fields():
    changes = [dict(action='modify', kind='user', object='carol', field=field, before=old, after=new)
               for field, old, new in (('description', 'a', 'b'), ('administrator', False, True))]
    assert diff_of(changes)['after'] == {'user carol': {'description': 'b', 'administrator': True}}
