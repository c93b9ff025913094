#!/usr/bin/env python3
# ansible-test with its sanity virtual environments made from the system's packages: each such environment
# sees Debian's ansible-core, pylint, voluptuous, yamllint and pycodestyle instead of installing them with pip
# from a package index, which the build machines cannot reach.
import sys

from ansible_test._internal import main
from ansible_test._internal.commands import sanity
from ansible_test._internal.venv import create_virtual_environment


def system_virtual_environment(args, python, path, system_site_packages=False, pip=False):
    del system_site_packages
    return create_virtual_environment(args, python, path, True, pip)


sanity.create_virtual_environment = system_virtual_environment
sanity.run_pip = lambda *args, **kwargs: None
sys.argv[0] = 'ansible-test'
main()
