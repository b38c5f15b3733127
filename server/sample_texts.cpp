// Texts of the sample content. The quotes are our own.
#include "server/sample_content.h"

const std::vector<SampleCategory>& SampleQuoteCategories() {
  static const std::vector<SampleCategory> categories = {
      {"Small Wisdom",
       {
           "A map is only a promise that someone once came back.",
           "Patience is hope that has learned to sit down.",
           "The shortest way through a problem usually starts at its middle.",
           "Kindness costs little and is never out of stock.",
           "Every expert still keeps a drawer of first attempts.",
           "You cannot borrow tomorrow's courage,\nbut you can lend today's.",
           "A quiet morning is a letter you write to the rest of the day.",
           "The door you keep meaning to fix knows your name by now.",
           "Most storms are loudest just before they get bored.",
           "If you walk slowly enough, every street becomes a museum.",
           "Good habits are small boats:\nthey keep carrying you when you stop rowing.",
           "An apology is a bridge you build from your own side first.",
           "The best time to water a garden is before it asks.",
           "Curiosity is the cheapest ticket to anywhere.",
           "A list of worries gets shorter when you read it aloud.",
           "Rest is not the opposite of work;\nit is the half that nobody sees.",
           "Ask the question twice: once to learn, once to understand.",
           "A friend is someone who notices when the kettle is on for two.",
           "Old shoes know the way home even in the dark.",
           "Nothing takes root in a pot that is always being moved.",
           "The smallest step forward still changes the view.",
           "Write the letter; you can decide later whether to send it.",
       }},
      {"Workshop Notes",
       {
           "Measure twice, cut once,\nand keep the offcuts for the day you forgot to measure.",
           "Every tool is a hammer to someone in a hurry.",
           "The manual is the part of the machine that nobody oils.",
           "A bug found on Friday is a story; a bug found on Monday is a ticket.",
           "Glue holds best where nobody looks.",
           "The fastest code is the code you were brave enough to delete.",
           "Label the drawer now; future you has enough mysteries.",
           "A clean bench is an invitation; a cluttered one is a history book.",
           "If it works and you do not know why,\nit has not finished surprising you.",
           "Every shortcut has a toll booth somewhere further on.",
           "There is no temporary fix,\nonly a permanent one with good manners.",
           "The best screw is the one you can still reach.",
           "A backup is an apology written in advance.",
           "A test that cannot fail is a lucky charm, not a test.",
           "Sharp tools are safer than dull excuses.",
           "The second prototype is where you learn what the first one was for.",
           "Tighten until snug, then stop; the thread remembers.",
           "Half of engineering is knowing which half to leave alone.",
           "Cables tangle themselves out of loyalty.",
           "When the instructions say \"simply\", allow an afternoon.",
           "Keep the old part until the new one has lasted a week.",
           "The drawing is finished when nobody has to ask what the line means.",
       }},
      {"Night Sky",
       {
           "Starlight is old news that still arrives on time.",
           "The moon borrows all of its light and never once apologises.",
           "On a clear night the whole sky is a window left open.",
           "Comets keep a schedule that outlasts every calendar we print.",
           "Look up long enough and the ground starts to feel like a ship.",
           "Each star is somebody's sun, or could have been.",
           "The dark between the stars is where the sky keeps its questions.",
           "A telescope is a patient way of saying: show me more.",
           "Meteors are wishes the sky could not hold on to.",
           "The Milky Way is a road you can see but never walk.",
           "Every sunrise is the night stepping politely aside.",
           "Planets wander, but they never get lost.",
           "The sky at midnight is the largest room you will ever stand in.",
           "Eclipses remind us that even the sun takes turns.",
           "A shooting star lasts a second and is remembered for years.",
           "Clouds are only curtains; the show goes on behind them.",
           "The pole star barely moves,\nwhich is exactly why sailors trusted it.",
           "Light from the farthest galaxies left home\nbefore the Earth had oceans.",
           "Counting stars is the one sum nobody minds leaving unfinished.",
           "The night is not empty; it is only speaking quietly.",
           "Satellites are the newest stars,\nand the only ones we put there ourselves.",
           "A dark field and a warm coat beat any planetarium seat.",
       }},
  };
  return categories;
}

const char* SampleNews() {
  return "Velmor sample server - news\n"
         "\n"
         "Welcome! This server runs the sample content that comes with the\n"
         "reference Velmor server. It holds three quote categories (Small Wisdom,\n"
         "Workshop Notes and Night Sky), pictures drawn by the server itself in\n"
         "sizes from 640x480 up to 1920x1080, and two categories of synthesised\n"
         "sounds (Chimes and Signals).\n"
         "\n"
         "Donations are welcome: every donated file is kept for the administrator\n"
         "to look at before it joins a category, so do not expect to receive your\n"
         "own donation straight back.\n"
         "\n"
         "New categories that you add appear at the end of the list. Press\n"
         "\"Refresh Category List\" in the Configure or donate dialog to see them.\n";
}

const char* SampleTips() {
  return "Velmor tips\n"
         "\n"
         "* Nothing is fetched until an item has both an interval and at least one\n"
         "  category. Open File > Configure Velmor, pick the item (Velmor Quote,\n"
         "  Background Picture, Random Sound or one of your system sounds), select\n"
         "  one or more categories in the list, and set days, hours and minutes.\n"
         "  Intervals below 10 minutes are stored as 10 minutes.\n"
         "\n"
         "* Want a fresh quote now? Right-click the text pane and choose\n"
         "  \"Get New Quote\". For pictures and sounds, use \"Trigger this item now\"\n"
         "  in the Configure dialog; \"Reset this item's timer\" starts the interval\n"
         "  again from now.\n"
         "\n"
         "* \"Enable Start Time\" keeps an item to part of the day. Both ends count,\n"
         "  and the window does not wrap past midnight: 22:00 to 06:00 never runs,\n"
         "  so choose a window inside one day.\n"
         "\n"
         "* Every sound event of your Windows sound scheme is an item too. Give\n"
         "  one a sound category and an interval and Velmor swaps that event's\n"
         "  sound for you; \"Random Sound\" only plays what it fetches.\n"
         "\n"
         "* Check the server address and port (1123 unless your administrator\n"
         "  says otherwise) with \"Ping the Velmor Server\" in the Configure dialog.\n"
         "\n"
         "* The category lists are fetched once per session. After adding a\n"
         "  category, press \"Refresh Category List\" to see it.\n"
         "\n"
         "* Left-click the tray icon to show or hide the main window; minimising\n"
         "  also sends it to the tray. Start Velmor with /N to start hidden and with\n"
         "  /Q to start without the start and end sounds.\n"
         "\n"
         "* To donate files, use Interaction > Donate files to the Velmor server:\n"
         "  choose the type and the category, list your files, then \"Begin donate\n"
         "  transfer\". A separate Transfer window sends them; files the server\n"
         "  already has stay in your list, so rename them and try again.\n"
         "\n"
         "* A JPEG picture becomes a 256-colour BMP in your data directory, named\n"
         "  after the item (Backgrou.bmp), and is set as tiled wallpaper.\n"
         "\n"
         "* Something not working? Tick \"Save log to disk\" in the Configure dialog:\n"
         "  the activity log is then also kept in VelmorW.log in your data\n"
         "  directory, which helps when you send a comment about the problem.\n"
         "  Put your e-mail address in comments so that the administrator can\n"
         "  answer.\n";
}

const char* SampleStatusLine() {
  return "Velmor sample server: new quotes every day";
}
