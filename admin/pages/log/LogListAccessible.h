// The Log page's list as a screen reader meets it: a list whose items are the rows it shows, each read as its
// text. Qt describes only its own item views; this view lays its rows out itself.
#pragma once

namespace korvel::admin
{

// Makes every LogListView describe itself so (once per program; later calls do nothing).
void InstallLogListAccessible();

} // namespace korvel::admin
