// The three sub-menus of the main menu: options, help and services.
#pragma once

void getOptions();
void getHelp();
void getService();
