// The result page's copy button. The page hides the button, so without this
// script the address is simply there to select; the texts come from the page
// (data-copied), so this file holds no language.
(function () {
  'use strict';
  var button = document.getElementById('copy');
  var link = document.getElementById('short');
  var status = document.getElementById('copied');
  if (!button || !link) return;

  function copied() {
    if (status) status.textContent = button.getAttribute('data-copied') || '';
  }

  // Older browsers, and pages not in a secure context, have no clipboard
  // API: select the address and let the browser copy the selection.
  function copyBySelection() {
    var range = document.createRange();
    range.selectNodeContents(link);
    var selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    var done = false;
    try {
      done = document.execCommand('copy');
    } catch (e) {
      done = false;
    }
    if (done) copied();
  }

  button.hidden = false;
  button.addEventListener('click', function () {
    // emptied first, so a second press is announced again
    if (status) status.textContent = '';
    var text = link.getAttribute('href') || link.textContent;
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(copied, copyBySelection);
    } else {
      copyBySelection();
    }
  });
})();

// The console's lists: a copy button on each row, holding its address in
// data-copy; hidden, like the one above, where this script does not run.
(function () {
  'use strict';
  var buttons = document.querySelectorAll('button[data-copy]');
  Array.prototype.forEach.call(buttons, function (button) {
    button.hidden = false;
    button.addEventListener('click', function () {
      var text = button.getAttribute('data-copy');
      if (navigator.clipboard && navigator.clipboard.writeText) navigator.clipboard.writeText(text);
    });
  });
})();
