# The options every korvel.admin module shares: how korvel-admin-cli reaches the server.


class ModuleDocFragment(object):
    DOCUMENTATION = r"""
options:
  login_host:
    description:
      - Host name or address of the server's administration port.
      - Without it, the profile's host, or 127.0.0.1.
    type: str
  login_port:
    description:
      - The administration port. Without it, the profile's port, or 12006.
    type: int
  login_user:
    description:
      - The administrator to log in as. Without it, the profile's user.
    type: str
  login_password:
    description:
      - The administrator's password. It reaches korvel-admin-cli in its environment (C(KORVEL_PASSWORD)),
        never on its command line.
    type: str
  mode:
    description:
      - C(lan) sends messages as they are; C(internet) compresses them.
      - Given, it wins over the profile's mode. Without it, the profile's mode, or C(lan).
    type: str
    choices: [lan, internet]
  profile:
    description:
      - A connection profile of korvel-admin-cli (see C(korvel-admin-cli profile list)); the options given win
        over its settings.
    type: str
  connect_timeout:
    description:
      - Seconds to wait for the server to accept the connection or answer one exchange before the module
        fails (korvel-admin-cli's C(--timeout)).
    type: float
    default: 30
  cli_path:
    description:
      - Path of korvel-admin-cli. Without it, the program is looked up on the C(PATH).
    type: path
notes:
  - "The modules run korvel-admin-cli on the host they run on. Run them on the control node
    (C(delegate_to: localhost)), so the journal of changes stays with the administrator, in
    C($XDG_STATE_HOME/korvel-admin/journal.jsonl)."
"""
